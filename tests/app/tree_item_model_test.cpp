#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <thread>

#include "ui/mytreectrl.h"
#include "ui/tree_item_model.h"

using namespace lumarest;

class TreeItemModelTest : public QObject {
    Q_OBJECT

  private slots:
    // The view's model must stay consistent through every change the engines make.
    void followsInsertsRemovalsAndSorting() {
        TreeModel tree;
        TreeItemModel model(tree);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const TreeItem top = tree.InsertItem(kNoItem, "My Computer", 2, 2);
        const TreeItem zeta = tree.InsertItem(top, "Removable Media (Disk1)", 0, 0);
        const TreeItem alpha = tree.InsertItem(top, "Fixed hard disk media (Disk0)", 0, 0);
        const TreeItem child = tree.InsertItem(zeta, "Partition - 1 ( FAT32 )", 0, 0);
        QCOMPARE(model.rowCount(model.IndexOf(top)), 2);

        tree.SortChildren(top);
        QCOMPARE(model.IndexOf(alpha).row(), 0);
        QCOMPARE(model.IndexOf(zeta).row(), 1);
        QCOMPARE(model.parent(model.IndexOf(child)), model.IndexOf(zeta));

        tree.RemoveItem(alpha);
        QCOMPARE(model.IndexOf(zeta).row(), 0);
        QVERIFY(!model.IndexOf(child).parent().parent().parent().isValid());
        tree.RemoveChildren(top);
        QCOMPARE(model.rowCount(model.IndexOf(top)), 0);
        QVERIFY(!model.IndexOf(child).isValid());
        tree.Clear();
        QCOMPARE(model.rowCount(), 0);
    }

    // The wizard replaces a page's tree while its view still shows the old one.
    void aTreeDestroyedUnderItsViewLeavesAnEmptyView() {
        auto tree = std::make_unique<TreeModel>();
        const TreeItem top = tree->InsertItem(kNoItem, "Root", 2, 2);
        tree->InsertItem(top, "PHOTOS", 4, 4);
        mytreectrl view;
        view.SetTree(tree.get());
        QCOMPARE(view.model()->rowCount(), 1);
        tree.reset();
        QCOMPARE(view.model()->rowCount(), 0);
        TreeModel replacement;
        replacement.InsertItem(kNoItem, "Disk 0", 2, 2);
        view.SetTree(&replacement);
        QCOMPARE(view.model()->rowCount(), 1);
    }

    void checkBoxesShowTheThreeStates() {
        TreeModel tree;
        TreeItemModel model(tree);
        const TreeItem top = tree.InsertItem(kNoItem, "Root", 2, 2);
        const TreeItem folder = tree.InsertItem(top, "PHOTOS", 4, 4);
        QVERIFY(!model.IndexOf(folder).data(Qt::CheckStateRole).isValid());
        const std::pair<int, Qt::CheckState> states[] = {
            {1, Qt::Unchecked}, {2, Qt::Checked}, {3, Qt::PartiallyChecked}};
        for (const auto& [state, shown] : states) {
            tree.SetCheckState(folder, state);
            QCOMPARE(model.IndexOf(folder).data(Qt::CheckStateRole).value<Qt::CheckState>(), shown);
        }
    }

    void viewFollowsTheTreeAndTellsItAboutClicks() {
        TreeModel tree;
        const TreeItem top = tree.InsertItem(kNoItem, "Root", 2, 2);
        const TreeItem folder = tree.InsertItem(top, "PHOTOS", 4, 4);
        const TreeItem sub = tree.InsertItem(folder, "2009", 4, 4);
        tree.SetCheckState(folder, 1);
        std::vector<std::pair<TreeItem, ExpandAction>> expansions;
        tree.SetExpansionHandler(
            [&](TreeItem item, ExpandAction action) { expansions.emplace_back(item, action); });

        mytreectrl view;
        view.resize(300, 200);
        view.SetTree(&tree);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        tree.Expand(top, ExpandAction::Expand);
        QVERIFY(view.isExpanded(view.ItemModel()->IndexOf(top)));
        // The user opens a folder: the tree hears it once, as its expansion handler.
        expansions.clear();
        view.expand(view.ItemModel()->IndexOf(folder));
        QCOMPARE(expansions.size(), std::size_t{1});
        QCOMPARE(expansions[0].first, folder);
        QVERIFY(tree.IsExpanded(folder));
        tree.Select(sub);
        QCOMPARE(view.ItemModel()->ItemOf(view.currentIndex()), sub);

        QSignalSpy clicks(&view, &mytreectrl::ItemClicked);
        QSignalSpy boxes(&view, &mytreectrl::CheckBoxClicked);
        const QRect row = view.visualRect(view.ItemModel()->IndexOf(folder));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                          QPoint(row.right() - 5, row.center().y()));
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(clicks[0][0].value<TreeItem>(), folder);
        QCOMPARE(tree.Selected(), folder);

        tree.Select(top);
        const QPoint box = [&] {
            for (int x = row.left(); x < row.right(); ++x) {
                if (view.OnCheckBox(QPoint(x, row.center().y()))) {
                    return QPoint(x + 2, row.center().y());
                }
            }
            return QPoint();
        }();
        QVERIFY(!box.isNull());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, box);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(clicks.size(), 1);
        // A check-box click is not passed on: the selection stays where it was.
        QCOMPARE(tree.Selected(), top);
    }

    void changesFromAWorkerAreCarriedToTheViewThread() {
        TreeModel tree;
        TreeItemModel model(tree);
        const TreeItem top = tree.InsertItem(kNoItem, "Root", 2, 2);
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < 20; ++i) {
                tree.InsertItem(top, "DIR_" + std::to_string(i), 4, 4);
            }
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        worker.join();
        QCOMPARE(model.rowCount(model.IndexOf(top)), 20);
        QCOMPARE(model.index(19, 0, model.IndexOf(top)).data().toString(),
                 QStringLiteral("DIR_19"));
    }
};

QTEST_MAIN(TreeItemModelTest)
#include "tree_item_model_test.moc"
