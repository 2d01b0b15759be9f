#include "MessageBoxes.h"

void CQtMessageBoxes::Show(QWidget* owner, const MessageBoxRequest& request)
{
    QMessageBox box(request.icon, request.caption, request.text, QMessageBox::Ok, owner);
    // Application-modal: the owner takes no input until the box is dismissed.
    box.setWindowModality(Qt::ApplicationModal);
    m_open.append(&box);
    box.exec();
    m_open.removeAll(&box);
}

void CQtMessageBoxes::CloseAll()
{
    // Copied: a box that closes leaves the list from inside its own exec().
    const QList<QPointer<QMessageBox>> open = m_open;
    for (const QPointer<QMessageBox>& box : open) {
        if (box)
            box->done(QMessageBox::Ok);
    }
}
