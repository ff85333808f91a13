#pragma once

#include <QDialog>
#include <cstddef>
#include <string>
#include <vector>

namespace lumarest {

// The box that ends a search, or refuses one that cannot start, with advice on what to try
// when the wanted files were not found.
class CMsgStand : public QDialog {
    Q_OBJECT

  public:
    explicit CMsgStand(QWidget* parent = nullptr);
    // The same box with other lines: the first is the bold heading.
    CMsgStand(const std::vector<std::string>& lines, QWidget* parent);

    // The heading and the advice lines, in the order shown.
    static const char* const kLines[];
    static const std::size_t kLineCount;
};

}  // namespace lumarest
