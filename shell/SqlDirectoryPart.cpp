#include "SqlDirectoryPart.h"

void TSqlDirectoryPart::Apply(const TMainFormSettings& settings) {
    // The same settings again leave a running sync alone.
    FDirectory->Apply(SqlDirectoryEnabled(settings) ? SqlDirectorySettingsOf(settings) : TSqlDirectorySettings{});
}
