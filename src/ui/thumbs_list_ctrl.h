#pragma once

#include <QImage>
#include <QList>
#include <QListWidget>
#include <vector>

#include "core/carved_file.h"

namespace lumarest {

// The raw results: every carved file as a 100 x 80 picture with its name under it, in the
// order of its position. The image list holds one picture per position.
class CThumbsListCtrl : public QListWidget {
    Q_OBJECT

  public:
    static constexpr int kScrollEvery = 3;

    explicit CThumbsListCtrl(QWidget* parent = nullptr);

    // Makes the image list hold index + 1 pictures, puts `picture` at `index` and inserts an
    // item there named `name`. Every third thumbnail moves the view down six lines, so it
    // follows the new ones.
    QListWidgetItem* AddThumbnail(const QImage& picture, const QString& name, int index);
    // The thumbnail of a carved file at its position, with the mark of its verdict on the
    // picture's corner and its name, verdict and saved size as its tooltip. The item keeps the
    // file, so it can be saved after the search. `decodes`: its bytes made a picture.
    void AddCarvedThumbnail(const QImage& picture, const CarvedFile& file, bool decodes);
    int ImageCount() const { return static_cast<int>(images_.size()); }
    const QImage& Image(int index) const { return images_.at(index); }
    // Every item and the image list go; the scroll count starts again. The filter stays.
    void Clear();

    // Hides every item but complete pictures, now and as they arrive; false shows all again.
    void ShowOnlyComplete(bool only);
    bool OnlyComplete() const { return onlyComplete_; }
    int ShownCount() const;
    // The carved files of the selected items that are shown, or of every shown item when none
    // is selected, in the list's order.
    std::vector<CarvedFile> ChosenFiles() const;

    // The picture shown for a thumbnail: `picture` with the verdict's mark drawn on its
    // top right corner (none for an unchecked file).
    static QImage MarkedPicture(const QImage& picture, CarvedVerdict verdict);
    // Where the mark sits on a 100 x 80 picture, and the colour it is filled with.
    static QPoint MarkCentre();
    static QColor MarkColour(CarvedVerdict verdict);
    // "GNLM00001.jpg", the verdict text and the saved size, one a line.
    static QString ToolTipOf(const CarvedFile& file);

  private:
    // Shows the newest thumbnails, unless the user has scrolled away from them.
    void FollowNewest();
    bool Filtered(const QListWidgetItem* item) const;

    QList<QImage> images_;
    int scrollCounter_ = 0;
    bool followingNewest_ = true;
    bool onlyComplete_ = false;
};

}  // namespace lumarest

Q_DECLARE_METATYPE(lumarest::CarvedFile)
