#pragma once

#include <QHash>
#include <QIcon>
#include <QSortFilterProxyModel>

namespace lumarest {

// What a deleted folder or file shows when the pointer rests on it.
inline constexpr const char* kDeletedToolTip = "Deleted";
// The same for a deleted file whose size runs past what is left of it: saved, it is cut short.
inline constexpr const char* kTruncatedToolTip = "Deleted, truncated: only part of it is left";
// The same for a deleted file known by its name only: saving it writes nothing.
inline constexpr const char* kNameOnlyToolTip = "Deleted, name only: its data is gone";
// The item role a model answers true on for a deleted row.
inline constexpr int kDeletedRole = Qt::UserRole + 1;
// The item role a model answers true on for a truncated row.
inline constexpr int kTruncatedRole = Qt::UserRole + 2;
// The item role a model answers true on for a name-only row.
inline constexpr int kNameOnlyRole = Qt::UserRole + 3;

// `icon` faded, with a small red cross in its lower right corner: the same picture, so the
// kind of item stays recognisable, marked as gone.
QIcon DeletedIcon(const QIcon& icon);

// Views ask for pictures on every paint: each marked picture is drawn once, kept under a key
// the caller chooses for the plain picture.
class DeletedIconCache {
  public:
    QIcon Marked(qint64 key, const QIcon& plain);

  private:
    QHash<qint64, QIcon> marked_;
};

// Which rows of the file list are shown: all of them, only deleted ones or only live ones.
class DeletedFilterModel : public QSortFilterProxyModel {
    Q_OBJECT

  public:
    enum class Show { All, DeletedOnly, LiveOnly };

    using QSortFilterProxyModel::QSortFilterProxyModel;

    void SetShow(Show show);
    Show Shown() const { return show_; }

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    Show show_ = Show::All;
};

}  // namespace lumarest
