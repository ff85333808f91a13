#pragma once

// The texts the wizard shows, exactly as the user reads them (UTF-8, typographic quotes).
namespace lumarest::texts {

inline constexpr const char* kSelectDiskStatus =
    " Select the disk from left Panel from which you want to recover data and press ‘Next’ "
    "button to continue...";
inline constexpr const char* kEntireDiskStatus =
    "If ‘Entire Disk’ option is selected, Lumarest searches lost data in the entire storage of "
    "selected disk. If you want to perform recovery within a specific sector range or in "
    "specific partition, please select other searching criteria. Else press ‘Next’ button to "
    "start searching data in Entire disk.";
inline constexpr const char* kThoroughExplanation =
    "Thorough Scanning Algorithm Search empowers the recovery procedure to find such lost "
    "picture files that are not recoverable in General recovery procedure (most likely due to "
    "exceptional internal structure of such files). However, enabling the Orvanta Thorough "
    "Scanning Algorithm Search doubles the time taken by the General recovery procedure.";
inline constexpr const char* kSectorRangeStatus =
    "‘Sector Range’ option provides facility to specify the range of start and end sectors of "
    "storage media within which you want to perform searching for lost data. Please drag Left "
    "and Right edges of Slider to enter sector range or you can also enter these values in "
    "‘Start Sector’ and ‘End Sector’ fields manually.";
inline constexpr const char* kSectorsInPartitionStatus =
    "‘Sectors in Partition’ option provides facility to perform searching for lost data in a "
    "specific partition of disk. Even If partitions of selected disk are deleted or lost, you "
    "can find and locate missing Partitions by clicking on ‘Search More Partitions’ button. "
    "Select Partition and Press ‘Next’ button to start searching data.";
inline constexpr const char* kSliderExplanation =
    "You can change the range of sectors for recovery by moving the edges of slider given "
    "below :";
inline constexpr const char* kEndAboveDiskMaximum =
    "The value of ‘End Sectors’ cannot be greater than the maximum number of sectors in drive.";
inline constexpr const char* kRawSearchRunningStatus =
    "To Stop recovery, click on 'Stop' Button or please wait for the process to be completed.";
inline constexpr const char* kRawSearchEndedStatus =
    "To select another disk for recovery, click on ‘Back’ Button.";
inline constexpr const char* kNoDestinationChosen =
    "No destination folder was chosen for this search, so the recovered files were shown but "
    "not saved. Choose a folder with ‘Browse’ before the next search to keep them.";
inline constexpr const char* kShowOnlyComplete = "Show only complete pictures";
inline constexpr const char* kNoPictureToSave =
    "There is no recovered file to save. Untick ‘Show only complete pictures’ to see every "
    "file found.";
inline constexpr const char* kSelectFilesStatus =
    "Select Files and Folders from left Panel Directories' Tree and Click on 'Save' button in "
    "Toolbar to save recovered Files and Folders.";
inline constexpr const char* kCurrentFolderCaption = "Current Folder  :";
inline constexpr const char* kFolderResultsCaption = "Recovered Files and Folders";
inline constexpr const char* kFolderTreeCaption = "Recovered folders";
inline constexpr const char* kExitQuestion = "Do you want to exit from Lumarest?";
inline constexpr const char* kEndBeforeStart = "End Sector should be greater than Start Sector.";
inline constexpr const char* kUnknownPartitionRefused =
    "The file system of this partition is not known, so its folders cannot be rebuilt. Select "
    "a FAT16, FAT32, NTFS or exFAT partition, or use ‘Search More Partitions’ to find missing "
    "ones.";
inline constexpr const char* kNtfsBootSectorDamaged =
    "The boot sector of this NTFS partition is damaged, so its master file table may not be "
    "found. The search goes on; if it finds nothing, the Advance search can find the volume "
    "without its boot sector.";

inline constexpr const char* kSelectPartitionType = "Select partition type";
inline constexpr const char* kSelectPartitionTypeStatus =
    "Select the Partition Type from which you want to recover Data and press 'Next' button to "
    "start searching Data. Or to select another Disk press 'Back' button.";
inline constexpr const char* kSelectPartitionStatus =
    "Select the partition to recover from left panel and then click on next button or use "
    "Searching Partition for search missing partition.";
inline constexpr const char* kStartSectorNotValid = "Start sector is not valid";
inline constexpr const char* kEndingSectorNotValid = "Ending sector is not valid";
inline constexpr const char* kSearchStartedStatus =
    "You can stop searching Files and Folders by clicking on 'Stop Search' button. However, it "
    "is strongly recommended that you should allow the software to complete the searching "
    "Process.";

inline constexpr const char* kPartitionTableCorruptedStatus =
    "Partition Table is corrupted. Software is Searching Partitions...";
inline constexpr const char* kStopSearchingPartitionsStatus =
    "To stop press 'Stop Searching Partitions' button or Please wait for the process to be "
    "completed. It is strongly recommended that you should allow the software to complete the "
    "Process.";
inline constexpr const char* kPartitionListFullNote =
    "Only the first 26 partitions are shown: the list holds no more. The disk may have others.";
inline constexpr const char* kPartitionsRelistedStatus =
    "Select the Partition from left Panel from which you want to recover Data. Press 'Search "
    "More Partitions' button to search other Lost or Deleted Partitions. Press 'Next' button to "
    "start searching Data.";
inline constexpr const char* kStopPartitionSearchQuestion =
    "Do you want to stop searching partition?";

inline constexpr const char* kStandardSearch = "Standard Search";
inline constexpr const char* kAdvanceSearch = "Advance Search";
inline constexpr const char* kRawSearch = "Raw Search";
inline constexpr const char* kEntireDisk = "Entire Disk";
inline constexpr const char* kSectorRange = "Sector Range";
inline constexpr const char* kSectorsInPartition = "Sectors in Partition";
inline constexpr const char* kThoroughBox = "Also perform Thorough Scanning Algorithm Search";
inline constexpr const char* kNameByDateBox =
    "Name saved photos and videos by the date they were taken";
inline constexpr const char* kDestinationLabel =
    "Browse the Destination path where the recovered data will be saved by Lumarest";
inline constexpr const char* kDestinationBrowseTitle =
    "Browse the Destination path where the recovered data will be saved :";
inline constexpr const char* kWorkingFolderCaption = "Path for Log File : ";
inline constexpr const char* kSliderMinCaption = "Min";
inline constexpr const char* kSliderStartCaption = "Start Sector";
inline constexpr const char* kSliderEndCaption = "End Sector";
inline constexpr const char* kSliderMaxCaption = "Max";
inline constexpr const char* kStartSectorCaption = "Start Sector :";
inline constexpr const char* kEndSectorCaption = "End Sector  :";
inline constexpr const char* kRefreshListHint =
    "Refresh this List of currently connected Storage Media";
inline constexpr const char* kAboutMenuItem = "About Lumarest...";
inline constexpr const char* kHelpFile = "Software Guide.html";

inline constexpr const char* kNext = "Next";
inline constexpr const char* kBack = "Back";
inline constexpr const char* kHelp = "Help";
inline constexpr const char* kAboutUs = "About Us";
inline constexpr const char* kRefreshList = "Refresh List";
inline constexpr const char* kAddDiskImage = "Add Disk Image...";
inline constexpr const char* kBrowse = "Browse";
inline constexpr const char* kSearchMorePartitions = "Search More Partitions";
inline constexpr const char* kStopSearch = "Stop Search";
inline constexpr const char* kSave = "Save";
inline constexpr const char* kOpenContainingFolder = "Open Containing Folder";
inline constexpr const char* kOpenWith = "Open With...";
inline constexpr const char* kStopSearchingPartitions = "Stop Searching Partitions";
inline constexpr const char* kDiskImageFilters =
    "Disk images (*.dd *.img *.bin *.raw);;All files (*)";

}  // namespace lumarest::texts
