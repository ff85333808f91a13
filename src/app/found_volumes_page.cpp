#include "app/found_volumes_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>
#include <string>
#include <utility>
#include <vector>

#include "app/page_widgets.h"
#include "app/wizard_frame.h"
#include "search/advance_search.h"
#include "ui/mytreectrl.h"
#include "ui/text_table_model.h"
#include "ui/tree_images.h"

namespace lumarest {

namespace {
const char* const kFoundVolumesCaption = "File systems found";
const char* const kVolumeDetailsCaption = "File system details";
constexpr int kVolumeNameColumnWidth = 253;
constexpr int kVolumeValueColumnWidth = 252;
}  // namespace

FoundVolumesPage::FoundVolumesPage(RecoveryRun& run, WizardFrame& frame)
    : run_(run), frame_(frame) {
    page_ = new QWidget;
    auto* layout = new QHBoxLayout(page_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(BuildLeftColumn());
    layout->addWidget(BuildRightColumn(), 1);
    connect(volumeTree_, &mytreectrl::ItemClicked, this, &FoundVolumesPage::OnVolumeTreeClicked);
    // Choosing a volume with the keyboard works like a click.
    connect(volumeTree_, &mytreectrl::ItemKeySelected, this,
            &FoundVolumesPage::OnVolumeTreeClicked);
}

FoundVolumesPage::~FoundVolumesPage() {
    // The view lets go of the run's tree before the run goes.
    volumeTree_->SetTree(nullptr);
}

QWidget* FoundVolumesPage::BuildLeftColumn() {
    auto* column = new QWidget;
    column->setFixedWidth(kLeftPanelWidth);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(MakeCaption(kFoundVolumesCaption, "foundVolumesCaption"));
    volumeTree_ = new mytreectrl;
    volumeTree_->setObjectName(QStringLiteral("VolumeTree"));
    layout->addWidget(volumeTree_, 1);
    return column;
}

QWidget* FoundVolumesPage::BuildRightColumn() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(MakeCaption(kVolumeDetailsCaption, "volumeDetailsCaption"));
    detailsModel_ = new TextTableModel(run_.detailsList, this);
    detailsList_ = MakeDetailsList(detailsModel_);
    detailsList_->setObjectName(QStringLiteral("VolumeDetailsList"));
    layout->addWidget(detailsList_, 1);
    // Where the other pages keep their search statistics: every page's lists end alike.
    layout->addSpacing(layout->spacing());
    layout->addStretch();
    return column;
}

void FoundVolumesPage::NewTree() {
    volumeTree_->SetTree(nullptr);
    run_.volumeTree = std::make_unique<TreeModel>();
    const TreeItem top =
        run_.volumeTree->InsertItem(kNoItem, kFileSystemsTop, kImageTopItem, kImageTopItem);
    run_.volumeTree->Expand(top, ExpandAction::Expand);
    volumeTree_->SetTree(run_.volumeTree.get());
}

void FoundVolumesPage::LetGoOfTree() {
    volumeTree_->SetTree(nullptr);
}

void FoundVolumesPage::Enter() {
    volumeTree_->SetTree(nullptr);
    ListVolumes(run_);
    volumeTree_->SetTree(run_.volumeTree.get());
    run_.volumeTree->Select(run_.volumeTree->TopItem());
    volumeTree_->setEnabled(true);
    volumeTree_->setFocus();
    run_.chosenVolume = 0;
    ShowVolumeDetails(run_.chosenVolume, false);
}

void FoundVolumesPage::EnterAgain() {
    if (run_.volumeTree) {
        run_.volumeTree->Select(run_.volumeTree->TopItem());
    }
    volumeTree_->setFocus();
    ShowVolumeDetails(run_.chosenVolume, true);
}

void FoundVolumesPage::Leave() {
    NewTree();
    run_.volumesFound = 0;
    run_.chosenVolume = 0;
    frame_.SetDetailsColumns({{"Name", kNameColumnWidth}, {"Value", kValueColumnWidth}});
}

void FoundVolumesPage::ReloadDetails() {
    // A reset keeps the header's section sizes as long as the column count stays.
    detailsModel_->Reload();
}

void FoundVolumesPage::ShowVolumeDetails(std::size_t volume, bool clicked) {
    const std::vector<std::pair<std::string, int>> columns = {{"Name", kVolumeNameColumnWidth},
                                                              {"Values", kVolumeValueColumnWidth}};
    frame_.SetDetailsColumns(columns);
    ResizeColumns(detailsList_, columns);
    run_.detailsList.Clear();
    for (const VolumeDetailRow& row : FoundVolumeDetails(run_, volume, clicked)) {
        run_.detailsList.AppendRow({row.name, row.value});
    }
    frame_.ReloadDetailsList();
}

void FoundVolumesPage::OnVolumeTreeClicked(TreeItem item) {
    TreeModel* tree = run_.volumeTree.get();
    // While a search fills the tree the view shows none, and the tree is the search's.
    if (tree == nullptr || volumeTree_->Tree() == nullptr ||
        frame_.Stage() != WizardStage::FoundVolumes || item == kNoItem) {
        return;
    }
    const std::string& text = tree->Text(item);
    if (text.empty()) {
        tree->Select(tree->TopItem());
        return;
    }
    tree->Select(item);
    std::size_t volume = 0;
    if (VolumeOfItem(run_, item, volume)) {
        run_.chosenVolume = volume;
        ShowVolumeDetails(volume, true);
    }
}

}  // namespace lumarest
