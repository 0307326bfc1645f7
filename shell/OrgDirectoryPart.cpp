#include "OrgDirectoryPart.h"

#include <memory>

std::unique_ptr<INameSourcePart> TOrgDirectoryPart::Make(const TNameSourceContext& context) {
    auto part = std::make_unique<TOrgDirectoryPart>(
        context.DataFolder.empty() ? DefaultOrgDirectoryCachePath() : context.DataFolder + L"\\OrgDirectory.db");
    context.AddNameSource(part->NameSource());
    return part;
}
