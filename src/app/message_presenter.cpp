#include "app/message_presenter.h"

#include <QMessageBox>
#include <QPushButton>

#include "app/wizard_texts.h"

namespace lumarest {

namespace {
QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}
}  // namespace

void QtMessagePresenter::ShowMessage(const QString& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), QString::fromUtf8(kMessageCaption), text, QMessageBox::Ok,
                    parent_);
    box.exec();
}

bool QtMessagePresenter::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kMessageCaption), text,
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

OpenFailedChoice QtMessagePresenter::AskAfterFailedOpen(const QString& text, bool folderOffered) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kMessageCaption), text,
                    QMessageBox::Cancel, parent_);
    QPushButton* openWith =
        box.addButton(QString::fromUtf8(texts::kOpenWith), QMessageBox::ActionRole);
    QPushButton* openFolder = folderOffered
                                  ? box.addButton(QString::fromUtf8(texts::kOpenContainingFolder),
                                                  QMessageBox::ActionRole)
                                  : nullptr;
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() == openWith) {
        return OpenFailedChoice::OpenWith;
    }
    if (openFolder != nullptr && box.clickedButton() == openFolder) {
        return OpenFailedChoice::OpenContainingFolder;
    }
    return OpenFailedChoice::Cancel;
}

}  // namespace lumarest
