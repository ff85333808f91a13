#include "ui/save_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/product_picture.h"

namespace lumarest {

namespace {

const char* const kReplaceTitle = "Replace File Confirmation";
const char* const kFileNameCaption = "File Name            :";
const char* const kNewFileNameCaption = "New File Name    :";
const char* const kApplyToAll = "Apply the answer to all the files";
const char* const kWriteErrorTitle = "Error Writing Destination";
const char* const kWriteErrorText = "The recovered file could not be written to:";
const char* const kCountTitle = "Calculating Number of Files...";
const char* const kCountHeading = "Calculating Total Number of Files, Please Wait ...";
const char* const kTotalCaption = "Total Files :";
const char* const kSavingHeading = "Saving recovered Files and Folders, Please Wait ...";
const char* const kStop = "Stop ";

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

void Decorate(QDialog& dialog, const char* title) {
    dialog.setWindowTitle(Text(title));
    dialog.setWindowIcon(ProductIcon());
}

// A button that ends the dialog with `answer`.
QPushButton* AnswerButton(QDialog& dialog, const char* caption, int answer) {
    auto* button = new QPushButton(Text(caption));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, &dialog,
                     [&dialog, answer] { dialog.done(answer); });
    return button;
}

}  // namespace

CReplaceFileDlg::CReplaceFileDlg(const QString& fileName, const QString& newName, QWidget* parent)
    : QDialog(parent) {
    Decorate(*this, kReplaceTitle);
    setObjectName(QStringLiteral("CReplaceFileDlg"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(Text(kFileNameCaption)), 0, 0);
    grid->addWidget(new QLabel(fileName), 0, 1);
    grid->addWidget(new QLabel(Text(kNewFileNameCaption)), 1, 0);
    grid->addWidget(new QLabel(newName), 1, 1);
    applyToAll_ = new QCheckBox(Text(kApplyToAll));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(AnswerButton(*this, "Overwrite", Overwrite));
    QPushButton* rename = AnswerButton(*this, "Rename", Rename);
    rename->setDefault(true);
    buttons->addWidget(rename);
    buttons->addWidget(AnswerButton(*this, "Skip", Skip));
    buttons->addWidget(AnswerButton(*this, "Cancel", Cancel));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(applyToAll_);
    layout->addLayout(buttons);
}

bool CReplaceFileDlg::ApplyToAll() const {
    return applyToAll_->isChecked();
}

CWriteErrorDlg::CWriteErrorDlg(const QString& path, QWidget* parent) : QDialog(parent) {
    Decorate(*this, kWriteErrorTitle);
    setObjectName(QStringLiteral("CWriteErrorDlg"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(AnswerButton(*this, "&Abort", Abort));
    QPushButton* skip = AnswerButton(*this, "&Skip", Skip);
    skip->setDefault(true);
    buttons->addWidget(skip);
    buttons->addWidget(AnswerButton(*this, "Skip All", SkipAll));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(Text(kWriteErrorText)));
    auto* where = new QLabel(path);
    where->setWordWrap(true);
    layout->addWidget(where);
    layout->addLayout(buttons);
}

CCountFilesDlg::CCountFilesDlg(QWidget* parent) : QDialog(parent) {
    Decorate(*this, kCountTitle);
    setObjectName(QStringLiteral("CCountFilesDlg"));
    setWindowTitle(Text(kCountTitle));
    heading_ = new QLabel(Text(kCountHeading));
    total_ = new QLabel(Text(kTotalCaption));
    current_ = new QLabel;
    current_->setWordWrap(true);
    auto* stop = new QPushButton(Text(kStop));
    stop->setAutoDefault(false);
    connect(stop, &QPushButton::clicked, this, [this] { stopRequested_ = true; });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(total_);
    layout->addWidget(current_);
    layout->addWidget(stop, 0, Qt::AlignRight);
    setMinimumWidth(420);
}

void CCountFilesDlg::ShowTotal(std::size_t total) {
    total_->setText(Text(kTotalCaption) + QLatin1Char(' ') + QString::number(total));
}

void CCountFilesDlg::ShowSaving(std::size_t done, std::size_t total, const QString& path) {
    heading_->setText(Text(kSavingHeading));
    total_->setText(Text(kTotalCaption) + QLatin1Char(' ') + QString::number(done) +
                    QStringLiteral(" / ") + QString::number(total));
    current_->setText(path);
}

}  // namespace lumarest
