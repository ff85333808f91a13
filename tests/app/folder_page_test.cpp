#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <functional>

#include "app/window_harness.h"
#include "support/image_guard.h"
#include "tree/folder_browse.h"
#include "tree/folder_tree_events.h"
#include "ui/deleted_mark.h"

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

    // "*" opens every folder below the current one and leaves that one shown; collapsing a
    // folder above the shown one shows the collapsed folder, any other collapse moves nothing.
    void expandingAllAndCollapsingKeepTheShownFolder() {
        const ImageGuard guard(demo_);
        WindowHarness h = SearchDemo();
        mytreectrl* tree = Tree(h);
        tree->setFocus();
        const auto index = [&](const char* text) {
            return ItemIndex(tree, QString::fromUtf8(text));
        };
        const auto click = [&](const char* text) { ClickItem(tree, QString::fromUtf8(text)); };
        const auto expandAll = [&] { QTest::keyClick(tree, Qt::Key_Asterisk); };
        struct Step {
            const char* what;
            std::function<void()> act;
            const char* shown;
            const char* openedBelow;  // a folder "*" must have opened, or null
        };
        const std::vector<Step> steps = {
            {"* on Root", [&] { click("Root"), expandAll(); }, "Root", "Winter"},
            {"* on a folder", [&] { click("Documents"), expandAll(); }, "Documents", "Old Letters"},
            {"* on a deleted folder", [&] { click("Old Holiday"), expandAll(); }, "Old Holiday",
             "Day 2"},
            {"arrow on a grandparent",
             [&] {
                 click("Summer");
                 QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                   ArrowOf(tree, index("Photos")));
             },
             "Photos", nullptr},
            {"the view collapses the parent",
             [&] { tree->expand(index("Photos")), click("Winter"), tree->collapse(index("2009")); },
             "2009", nullptr},
            {"keys open and close the shown folder",
             [&] { QTest::keyClick(tree, Qt::Key_Right), QTest::keyClick(tree, Qt::Key_Left); },
             "2009", nullptr},
            {"collapsing Root", [&] { click("Day 2"), tree->collapse(index("Root")); }, "Root",
             nullptr},
            {"* after a collapse", [&] { expandAll(); }, "Root", "Summer"},
            {"collapsing another folder moves nothing",
             [&] { click("Summer"), tree->collapse(index("Documents")); }, "Summer", nullptr},
        };
        for (const Step& step : steps) {
            step.act();
            const QString now = tree->currentIndex().data().toString();
            QVERIFY2(now == QString::fromUtf8(step.shown),
                     qPrintable(QString::fromUtf8(step.what) + QStringLiteral(": ") + now));
            QVERIFY2(tree->selectionModel()->isSelected(tree->currentIndex()), step.what);
            if (step.openedBelow != nullptr) {
                QVERIFY2(tree->isExpanded(index(step.openedBelow).parent()), step.what);
            }
            CheckAgreement(h, now);
            if (QTest::currentTestFailed()) {
                QFAIL(step.what);
            }
        }
    }

    // Enter on a row of the file list opens it as a double-click does: a folder is shown in
    // the tree, a file is handed to the desktop; the window's buttons never take the key.
    void enterOpensTheCurrentRow() {
        const ImageGuard guard(demo_);
        WindowHarness h = SearchDemo();
        mytreectrl* tree = Tree(h);
        QTreeView* list = List(h);
        struct Case {
            const char* folder;  // shown first
            const char* row;
            Qt::Key key;
            const char* shown;  // afterwards
            std::size_t opened;
        };
        const std::vector<Case> cases = {
            {"Root", "Documents", Qt::Key_Return, "Documents", 0},
            {"Photos", "2009", Qt::Key_Enter, "2009", 0},
            {"Old Holiday", "Day 2", Qt::Key_Return, "Day 2", 0},
            {"Documents", "notes.txt", Qt::Key_Return, "Documents", 1},
        };
        for (const Case& c : cases) {
            const QString what = QString::fromUtf8(c.row);
            QVERIFY2(ClickItem(tree, QString::fromUtf8(c.folder)), c.folder);
            const QModelIndexList found = list->model()->match(
                list->model()->index(0, 0), Qt::DisplayRole, what, 1, Qt::MatchExactly);
            QVERIFY2(!found.isEmpty(), c.row);
            list->setFocus();
            list->setCurrentIndex(found.first());
            const std::size_t openedBefore = h.shell->opened.size();
            QTest::keyClick(list, c.key);
            QVERIFY2(h.window->isVisible(), c.row);
            QVERIFY2(h.shell->opened.size() - openedBefore == c.opened, c.row);
            CheckAgreement(h, QString::fromUtf8(c.shown));
            if (QTest::currentTestFailed()) {
                QFAIL(c.row);
            }
        }
        QVERIFY(h.messages->shown.empty());
    }

    // A file the desktop has no program for is said in a box, which offers another program
    // or the folder holding the copy; what fails after that is said too.
    void aFileNoProgramOpensIsSaidInABox() {
        const ImageGuard guard(demo_);
        WindowHarness h = SearchDemo();
        QVERIFY(ClickItem(Tree(h), QStringLiteral("Documents")));
        const auto isFolder = [](const QUrl& url) { return QFileInfo(url.toLocalFile()).isDir(); };
        struct Case {
            const char* what;
            OpenFailedChoice answer;
            bool folderOpens;
            bool programStarts;
            std::size_t openedWith;
            std::size_t foldersOpened;
            const char* error;  // the text of the box after the choice, or null
        };
        const std::vector<Case> cases = {
            {"cancelled", OpenFailedChoice::Cancel, true, true, 0, 0, nullptr},
            {"another program", OpenFailedChoice::OpenWith, true, true, 1, 0, nullptr},
            {"a program that does not start", OpenFailedChoice::OpenWith, true, false, 1, 0,
             "could not be started"},
            {"the containing folder", OpenFailedChoice::OpenContainingFolder, true, true, 0, 1,
             nullptr},
            {"a folder no program opens either", OpenFailedChoice::OpenContainingFolder, false,
             true, 0, 0, "either"},
        };
        for (const Case& c : cases) {
            h.messages->shown.clear();
            h.messages->failedOpens.clear();
            h.shell->opened.clear();
            h.shell->openedWith.clear();
            h.messages->failedOpenAnswer = c.answer;
            h.shell->programStarts = c.programStarts;
            h.shell->refuses = [&](const QUrl& url) { return !c.folderOpens || !isFolder(url); };
            DoubleClickListed(h, QStringLiteral("notes.txt"));
            QVERIFY2(h.messages->failedOpens.size() == 1, c.what);
            const auto& box = h.messages->failedOpens.front();
            QVERIFY2(box.folderOffered, c.what);
            QVERIFY2(box.text.contains(QStringLiteral("notes.txt")), qPrintable(box.text));
            QVERIFY2(h.shell->openedWith.size() == c.openedWith, c.what);
            QVERIFY2(h.shell->opened.size() == c.foldersOpened, c.what);
            if (c.foldersOpened != 0) {
                QVERIFY2(isFolder(h.shell->opened.front()), c.what);
            }
            if (c.error == nullptr) {
                QVERIFY2(h.messages->shown.empty(), c.what);
            } else {
                QVERIFY2(h.messages->shown.size() == 1 &&
                             h.messages->shown.front().text.contains(QString::fromUtf8(c.error)),
                         c.what);
            }
        }
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
