#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "Baton.h"
#include "DesktopOpen.h"
#include "GuiNative.h"
#include "Internal.h"

namespace fw {

Ref<FolderItem> SelectFolder(const Ref<FolderItem>& startAt) {
    gui::EnsureGuiSetup();
    QFileDialog dialog(QApplication::activeWindow());
    for (auto folder = startAt; folder; folder = folder->Parent()) {
        if (folder->Exists() && folder->Directory()) {
            dialog.setDirectory(gui::ToQt(folder->NativePath()));
            break;
        }
    }
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setWindowModality(Qt::ApplicationModal);
    int result = 0;
    {
        baton::Unlocked unlocked;
        result = dialog.exec();
    }
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return nullptr;
    return GetFolderItem(gui::FromQt(dialog.selectedFiles().first()), 0);
}

bool ShowURL(const std::string& url) { return internal::OpenWithDesktop(url); }

void MsgBox(const std::string& text) {
    gui::EnsureGuiSetup();
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(internal::kDialogTitle), gui::ToQt(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    baton::Unlocked unlocked;
    box.exec();
}

}  // namespace fw
