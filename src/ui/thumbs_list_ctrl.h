#pragma once

#include <QImage>
#include <QList>
#include <QListWidget>

namespace lumarest {

// The raw results: every carved file as a 100 x 80 picture with its name under it, in the
// order of its position. The image list holds one picture per position.
class CThumbsListCtrl : public QListWidget {
    Q_OBJECT

  public:
    static constexpr int kScrollEvery = 3;
    static constexpr int kScrollLines = 6;

    explicit CThumbsListCtrl(QWidget* parent = nullptr);

    // Makes the image list hold index + 1 pictures, puts `picture` at `index` and inserts an
    // item there named `name`. Every third thumbnail moves the view down six lines, so it
    // follows the new ones.
    void AddThumbnail(const QImage& picture, const QString& name, int index);
    int ImageCount() const { return static_cast<int>(images_.size()); }
    const QImage& Image(int index) const { return images_.at(index); }
    // Every item and the image list go; the scroll count starts again.
    void Clear();

  private:
    void ScrollDownLines(int lines);

    QList<QImage> images_;
    int scrollCounter_ = 0;
};

}  // namespace lumarest
