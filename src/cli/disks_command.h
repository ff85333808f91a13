#pragma once

namespace lumarest {

struct CliContext;

// Lists every disk and attached image: number, item text, device path, total sectors and
// the fourteen details rows, as text or as one JSON document.
int RunDisksCommand(CliContext& context);

}  // namespace lumarest
