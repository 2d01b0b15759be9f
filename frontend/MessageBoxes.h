// The one way the front end shows a message box, so that tests can answer boxes without a person.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>

class QWidget;

struct MessageBoxRequest {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class CMessageBoxes {
public:
    virtual ~CMessageBoxes() = default;
    // Modal to owner (none before the dialog exists) with one OK button; returns once it is dismissed.
    virtual void Show(QWidget* owner, const MessageBoxRequest& request) = 0;
    // Dismisses every box still open, for an owner that is going away.
    virtual void CloseAll() = 0;
};

// Real message boxes.
class CQtMessageBoxes : public CMessageBoxes {
public:
    void Show(QWidget* owner, const MessageBoxRequest& request) override;
    void CloseAll() override;

private:
    QList<QPointer<QMessageBox>> m_open;
};
