#pragma once

// The entry-table rows moved to core/, where fat/ and ntfs/ both reach them; this name stays
// for code written against it before the move.
#include "core/entry_rows.h"
