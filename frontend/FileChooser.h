// The one way the front end asks for a file, so that tests can answer the chooser without a person.
#pragma once

#include <QString>
#include <optional>

class QWidget;

struct FileChooserRequest {
    QString title;
    QString filter;        // one entry, e.g. "Firmware Files (*.frm)"
    QString defaultSuffix; // without the dot
    QString initialName;
};

class CFileChooser {
public:
    virtual ~CFileChooser() = default;
    // Modal to owner; the chosen file's full path, or nothing when the operator cancels.
    virtual std::optional<QString> ChooseToOpen(QWidget* owner, const FileChooserRequest& request) = 0;
};

// The toolkit's file dialog.
class CQtFileChooser : public CFileChooser {
public:
    std::optional<QString> ChooseToOpen(QWidget* owner, const FileChooserRequest& request) override;
};
