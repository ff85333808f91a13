#include "ui/open_single_file.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/product_picture.h"

namespace lumarest {

COpenSingleFile::COpenSingleFile(const QString& fileName, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("COpenSingleFile"));
    setWindowTitle(QStringLiteral("Lumarest"));
    setWindowIcon(ProductIcon());
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    // The name is kept for whoever asks which file is being opened; the texts say what happens.
    fileName_ = new QLabel(fileName);
    fileName_->hide();
    layout->addWidget(fileName_);
    layout->addWidget(new QLabel(QString::fromUtf8(kOpeningText) + fileName));
    layout->addWidget(new QLabel(QString::fromUtf8(kWaitText)));
}

QString COpenSingleFile::FileName() const {
    return fileName_->text();
}

}  // namespace lumarest
