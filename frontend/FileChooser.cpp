#include "FileChooser.h"

#include <QFileDialog>
#include <QStringList>

std::optional<QString> CQtFileChooser::ChooseToOpen(QWidget* owner, const FileChooserRequest& request)
{
    QFileDialog chooser(owner, request.title);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    // The named file need not exist: a typed name is taken as it stands.
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setNameFilter(request.filter);
    chooser.setDefaultSuffix(request.defaultSuffix);
    chooser.selectFile(request.initialName);
    chooser.setWindowModality(Qt::ApplicationModal);
    if (chooser.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = chooser.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.first();
}
