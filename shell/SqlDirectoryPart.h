#pragma once
#include "NameSourcePart.h"
#include "SqlDirectory.h"

#include <memory>

// The SQL directory among the controller's parts: the settings start,
// restart or stop its sync, and the diagnostics read its state through it.
// The controller holds it itself (it is the subscriber directory, not a name
// source after it) and stops it after the last save.
class TSqlDirectoryPart final : public INameSourcePart {
public:
    explicit TSqlDirectoryPart(std::shared_ptr<TSqlDirectory> directory) : FDirectory(std::move(directory)) {}
    // Throws what TSqlDirectory::Apply throws (its replica cannot be made).
    void Apply(const TMainFormSettings& settings) override;
    void Stop() override { FDirectory->Stop(); }
    const TSqlDirectory& Directory() const { return *FDirectory; }

private:
    std::shared_ptr<TSqlDirectory> FDirectory;
};
