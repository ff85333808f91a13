#include "core/found_counts.h"

#include "core/reporter.h"
#include "core/text_number.h"

namespace lumarest {

FoundCounts::FoundCounts(Reporter& reporter) : reporter_(reporter) {
    reporter_.SetStatisticCaption(Statistic::BootSectorsFound, kBootSectorsFoundCaption);
}

void FoundCounts::Show(std::size_t directories, std::size_t bootSectors) {
    if (directories != shownDirectories_) {
        shownDirectories_ = directories;
        reporter_.SetStatisticValue(Statistic::DirectoriesFound, NumberText(directories));
    }
    if (bootSectors != shownBootSectors_) {
        shownBootSectors_ = bootSectors;
        reporter_.SetStatisticValue(Statistic::BootSectorsFound, NumberText(bootSectors));
    }
}

}  // namespace lumarest
