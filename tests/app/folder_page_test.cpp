#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <functional>

#include "app/window_harness.h"
#include "fat/folder_tree_events.h"
#include "support/image_guard.h"
#include "ui/deleted_mark.h"
#include "volume/folder_browse.h"

using namespace lumarest;
using namespace lumarest::testing;

namespace {

constexpr int kSearchTimeoutMs = 60000;
const QString kFat32Partition = QStringLiteral("Partition - 1 ( FAT32 )");

// A name each folder of the demo's FAT32 volume lists, so a listing can be told apart.
const std::map<QString, QString> kListedMarker = {
    {QStringLiteral("Root"), QStringLiteral("README.TXT")},
    {QStringLiteral("Documents"), QStringLiteral("Old Letters")},
    {QStringLiteral("Old Letters"), QStringLiteral("Letter to Grandma.txt")},
    {QStringLiteral("Photos"), QStringLiteral("Scans")},
    {QStringLiteral("2009"), QStringLiteral("Summer")},
    {QStringLiteral("Summer"), QStringLiteral("Beach Day.jpg")},
    {QStringLiteral("Old Holiday"), QStringLiteral("Day 2")},
    {QStringLiteral("Day 2"), QStringLiteral("River.jpg")},
};

QStringList ListedNames(const TextTable& list) {
    QStringList names;
    for (std::size_t row = 0; row < list.RowCount(); ++row) {
        names << QString::fromStdString(list.Cell(row, 0));
    }
    return names;
}

QImage Picture(const QModelIndex& index) {
    return index.data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
}

}  // namespace

class FolderPageTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir folder_;
    std::string demo_;

    // The folder results of the demo disk's FAT32 partition after a Standard search.
    WindowHarness SearchDemo() {
        WizardEnvironment environment;
        environment.images = {demo_};
        WindowHarness h = OpenWindow(std::move(environment), folder_);
        ClickItem(h.DiskTree(), QStringLiteral("Disk image file (Disk0)"));
        h.Find<QLineEdit>("workingFolderField")->setText(folder_.filePath(QStringLiteral("w")));
        h.Find<QRadioButton>("standardSearchButton")->click();
        h.window->OnNext();
        ClickItem(h.Find<mytreectrl>("PartitionTree"), kFat32Partition);
        h.window->OnNext();
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(
                h.Button("stopSearchButton")->isHidden() && h.Button("backButton")->isEnabled(),
                kSearchTimeoutMs);
        }();
        return h;
    }

    static mytreectrl* Tree(const WindowHarness& h) { return h.Find<mytreectrl>("FolderTree"); }
    static QTreeView* List(const WindowHarness& h) { return h.Find<QTreeView>("FileList"); }

    // The tree's selection, the label and the listing all name `expected`.
    static void CheckAgreement(const WindowHarness& h, const QString& expected) {
        mytreectrl* tree = Tree(h);
        RecoveryRun& run = h.Run();
        const TreeModel& model = *run.folderTree;
        QCOMPARE(tree->currentIndex().data().toString(), expected);
        const TreeItem selected = model.Selected();
        QCOMPARE(tree->ItemModel()->ItemOf(tree->currentIndex()), selected);
        const QString path = selected == model.TopItem()
                                 ? QStringLiteral("Root")
                                 : QString::fromStdString(ItemPath(model, selected));
        QCOMPARE(h.Find<QLabel>("currentFolderValue")->text(), path);
        // Its child folders head the list, and its own marker is listed.
        std::size_t folderRows = 0;
        for (std::size_t row = 0; row < run.fileList.RowCount(); ++row) {
            const std::optional<FileRef> ref = ListedRowRef(run, row);
            QVERIFY(ref.has_value());
            if (ref->IsFolder()) {
                QCOMPARE(model.Parent(ref->folderItem), selected);
                ++folderRows;
            }
        }
        QCOMPARE(folderRows, model.Children(selected).size());
        const auto marker = kListedMarker.find(expected);
        if (marker != kListedMarker.end()) {
            QVERIFY2(ListedNames(run.fileList).contains(marker->second),
                     qPrintable(expected + QStringLiteral(": ") +
                                ListedNames(run.fileList).join(QStringLiteral(", "))));
        }
    }

    static QPoint ArrowOf(mytreectrl* tree, const QModelIndex& index) {
        const QRect rect = tree->visualRect(index);
        return QPoint(rect.left() - tree->indentation() / 2, rect.center().y());
    }

    static QPoint CheckBoxOf(mytreectrl* tree, const QModelIndex& index) {
        const QRect rect = tree->visualRect(index);
        for (int x = rect.left(); x < rect.right(); ++x) {
            if (tree->OnCheckBox(QPoint(x, rect.center().y()))) {
                return QPoint(x + 2, rect.center().y());
            }
        }
        return {};
    }

    static void DoubleClickListed(const WindowHarness& h, const QString& name) {
        QTreeView* list = List(h);
        const QModelIndexList found = list->model()->match(
            list->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(name));
        const QPoint point = list->visualRect(found.first()).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        demo_ = FixtureImage("demo.img");
        if (demo_.empty()) {
            QSKIP("the demo image was not made");
        }
    }

    // Whatever moves the tree's selection or opens a folder, the selection, the label and
    // the list show one folder.
    void everyWayOfChoosingAFolderShowsIt() {
        const ImageGuard guard(demo_);
        WindowHarness h = SearchDemo();
        mytreectrl* tree = Tree(h);
        tree->setFocus();
        const auto index = [&](const char* text) {
            return ItemIndex(tree, QString::fromUtf8(text));
        };
        struct Step {
            const char* what;
            std::function<void()> act;
            const char* shown;  // null: whatever the selection moved to
        };
        const std::vector<Step> steps = {
            {"click", [&] { ClickItem(tree, QStringLiteral("Documents")); }, "Documents"},
            {"arrow key up", [&] { QTest::keyClick(tree, Qt::Key_Up); }, nullptr},
            {"arrow key down", [&] { QTest::keyClick(tree, Qt::Key_Down); }, "Documents"},
            {"right expands", [&] { QTest::keyClick(tree, Qt::Key_Right); }, "Documents"},
            {"right again", [&] { QTest::keyClick(tree, Qt::Key_Right); }, "Old Letters"},
            {"enter", [&] { QTest::keyClick(tree, Qt::Key_Return); }, "Old Letters"},
            {"typing a name", [&] { QTest::keyClicks(tree, QStringLiteral("Photos")); }, "Photos"},
            {"expansion arrow",
             [&] {
                 QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                   ArrowOf(tree, index("Old Holiday")));
             },
             "Old Holiday"},
            {"expand through the view", [&] { tree->expand(index("Photos")); }, "Photos"},
            {"expand a child", [&] { tree->expand(index("2009")); }, "2009"},
            {"check box",
             [&] {
                 QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                   CheckBoxOf(tree, index("Summer")));
             },
             "Summer"},
            {"click root", [&] { ClickItem(tree, QStringLiteral("Root")); }, "Root"},
            {"double-click an open folder's row", [&] { DoubleClickListed(h, "Documents"); },
             "Documents"},
        };
        for (const Step& step : steps) {
            const QString before = tree->currentIndex().data().toString();
            step.act();
            const QString now = tree->currentIndex().data().toString();
            if (step.shown != nullptr) {
                QVERIFY2(now == QString::fromUtf8(step.shown),
                         qPrintable(QString::fromUtf8(step.what) + QStringLiteral(": ") + now));
            } else {
                QVERIFY2(now != before, step.what);
            }
            CheckAgreement(h, now);
            if (QTest::currentTestFailed()) {
                QFAIL(step.what);
            }
        }
        SaveWindowShot(*h.window, "folder_page_agreement.png");
    }

    // Deleted folders and files carry a marked picture and say so; the filter keeps to its
    // choice from folder to folder, and opening a filtered row opens that row's file.
    void deletedItemsAreMarkedFilteredAndCounted() {
        const ImageGuard guard(demo_);
        WindowHarness h = SearchDemo();
        mytreectrl* tree = Tree(h);
        QCOMPARE(h.Find<QLabel>("folderCountsValue")->text(),
                 QStringLiteral("9 folders below Root (2 deleted), 15 files (5 deleted)"));

        struct TreeCase {
            const char* folder;
            const char* alike;  // a folder with the same picture
            bool deleted;
        };
        tree->expandAll();
        for (const TreeCase& c :
             {TreeCase{"Old Holiday", "Photos", true}, TreeCase{"Day 2", "Scans", true},
              TreeCase{"Photos", "Documents", false}}) {
            const QModelIndex item = ItemIndex(tree, QString::fromUtf8(c.folder));
            const QModelIndex alike = ItemIndex(tree, QString::fromUtf8(c.alike));
            QCOMPARE(item.data(Qt::ToolTipRole).toString() == kDeletedToolTip, c.deleted);
            QCOMPARE(Picture(item) != Picture(alike), c.deleted);
        }

        QVERIFY(ClickItem(tree, QStringLiteral("Documents")));
        QAbstractItemModel* shown = List(h)->model();
        const auto row = [&](const QString& name) {
            const QModelIndexList found =
                shown->match(shown->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
            return found.isEmpty() ? QModelIndex() : found.first();
        };
        const QModelIndex draft = row(QStringLiteral("Deleted Draft.txt"));
        const QModelIndex report = row(QStringLiteral("Annual Report 2009.txt"));
        QVERIFY(draft.isValid() && report.isValid());
        QCOMPARE(draft.data(Qt::ToolTipRole).toString(), QString::fromUtf8(kDeletedToolTip));
        QVERIFY(report.data(Qt::ToolTipRole).toString() != kDeletedToolTip);
        QVERIFY(Picture(draft) != Picture(report));

        QComboBox* filter = h.Find<QComboBox>("deletedFilterBox");
        struct FilterCase {
            const char* choice;
            QStringList names;
        };
        const std::vector<FilterCase> filters = {
            {"Deleted only", {QStringLiteral("Deleted Draft.txt")}},
            {"Live only",
             {QStringLiteral("Old Letters"), QStringLiteral("Annual Report 2009.txt"),
              QStringLiteral("notes.txt")}},
        };
        for (const FilterCase& c : filters) {
            filter->setCurrentText(QString::fromUtf8(c.choice));
            QStringList names;
            for (int r = 0; r < shown->rowCount(); ++r) {
                names << shown->index(r, 0).data().toString();
            }
            names.sort();
            QStringList expected = c.names;
            expected.sort();
            QCOMPARE(names, expected);
        }

        // The one deleted row is the view's first: opening it opens the deleted file.
        filter->setCurrentText(QStringLiteral("Deleted only"));
        DoubleClickListed(h, QStringLiteral("Deleted Draft.txt"));
        QCOMPARE(h.shell->opened.size(), std::size_t{1});
        QFile opened(h.shell->opened.front().toLocalFile());
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.size(), qint64{24});

        // Another folder keeps the choice: Root's deleted folder row alone.
        QVERIFY(ClickItem(tree, QStringLiteral("Root")));
        QCOMPARE(filter->currentText(), QStringLiteral("Deleted only"));
        QCOMPARE(shown->rowCount(), 1);
        QCOMPARE(shown->index(0, 0).data().toString(), QStringLiteral("Old Holiday"));
        QCOMPARE(shown->index(0, 0).data(Qt::ToolTipRole).toString(),
                 QString::fromUtf8(kDeletedToolTip));
        SaveWindowShot(*h.window, "folder_page_deleted_only.png");
        DoubleClickListed(h, QStringLiteral("Old Holiday"));
        CheckAgreement(h, QStringLiteral("Old Holiday"));
    }
};

QTEST_MAIN(FolderPageTest)
#include "folder_page_test.moc"
