#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>

#include <deque>
#include <memory>

namespace fw {
namespace {

testing::DialogResponder& Responder()
{
    static testing::DialogResponder r;
    return r;
}

Ref<FolderItem> FromChosenPath(const QString& path)
{
    if (path.isEmpty())
        return nullptr;
    // Qt hands back file names decoded with the locale; encode them the same way.
    QByteArray native = QFile::encodeName(path);
    return FolderItem::FromPath(std::string_view(native.constData(), static_cast<size_t>(native.size())));
}

QWidget* DialogParent()
{
    return QApplication::activeWindow();
}

} // namespace

Ref<FolderItem> SelectFolder()
{
    if (Responder()) {
        std::string answer = Responder()(testing::DialogKind::SelectFolder, "");
        return answer.empty() ? nullptr : FolderItem::FromPath(answer);
    }
    QString path = QFileDialog::getExistingDirectory(DialogParent(), QObject::tr("Choose a folder to scan"),
                                                     QString(), QFileDialog::ShowDirsOnly);
    return FromChosenPath(path);
}

Ref<FolderItem> GetSaveFolderItem(const String& fileType, const String& proposedName)
{
    std::string proposed = proposedName.str();
    if (Responder()) {
        std::string answer = Responder()(testing::DialogKind::SaveFile, proposed);
        return answer.empty() ? nullptr : FolderItem::FromPath(answer);
    }
    (void)fileType;
    // The dialog itself asks before it replaces an existing file.
    QString path = QFileDialog::getSaveFileName(DialogParent(), QObject::tr("Export the list"),
                                                QString::fromStdString(proposed));
    return FromChosenPath(path);
}

namespace testing {
void SetDialogResponder(DialogResponder responder) { Responder() = std::move(responder); }

void AnswerDialogs(std::vector<std::string> answers)
{
    auto queue = std::make_shared<std::deque<std::string>>(answers.begin(), answers.end());
    SetDialogResponder([queue](DialogKind, const std::string&) {
        if (queue->empty())
            return std::string();
        std::string answer = std::move(queue->front());
        queue->pop_front();
        return answer;
    });
}
} // namespace testing

} // namespace fw
