#include "FakeSqlServer.h"

#include <algorithm>

namespace {
TSqlError Unreachable() { return {TSqlErrorKind::Unreachable, L"08001", L"down"}; }
}  // namespace

void TFakeSqlTable::SetDown(bool down) {
    const std::lock_guard lock(FLock);
    FDown = down;
}

void TFakeSqlTable::SetOpenError(TSqlError error) {
    const std::lock_guard lock(FLock);
    FOpenError = std::move(error);
}

int TFakeSqlTable::Opens() const {
    const std::lock_guard lock(FLock);
    return FOpens;
}

void TFakeSqlTable::SetWriteError(TSqlErrorKind kind) {
    const std::lock_guard lock(FLock);
    FWriteError = kind;
}

void TFakeSqlTable::DropWrites(int count) {
    const std::lock_guard lock(FLock);
    FDrops = count;
}

void TFakeSqlTable::Hang(const std::string& call) {
    const std::lock_guard lock(FLock);
    FHang = call;
}

void TFakeSqlTable::Release() {
    {
        const std::lock_guard lock(FLock);
        FHang.clear();
    }
    FReleased.notify_all();
}

int TFakeSqlTable::Hung() const {
    const std::lock_guard lock(FLock);
    return FHung;
}

void TFakeSqlTable::WaitIfHung(std::unique_lock<std::mutex>& lock, const std::string& call) {
    if (FHang != call) return;
    ++FHung;
    FReleased.wait(lock, [&] { return FHang != call; });
}

void TFakeSqlTable::Store(const std::wstring& phone, const std::wstring& name, const std::wstring& comment,
                          bool deleted, int64_t stamp) {
    TSqlRow& row = FRows[phone];
    row = {phone, deleted ? std::wstring() : name, deleted ? std::wstring() : comment, deleted, stamp};
}

void TFakeSqlTable::Put(const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
    const std::lock_guard lock(FLock);
    Store(phone, name, comment, false, FNextStamp++);
}

void TFakeSqlTable::Remove(const std::wstring& phone) {
    const std::lock_guard lock(FLock);
    Store(phone, {}, {}, true, FNextStamp++);
}

int64_t TFakeSqlTable::ReserveStamp() {
    const std::lock_guard lock(FLock);
    return FNextStamp++;
}

void TFakeSqlTable::CommitReserved(int64_t stamp, const std::wstring& phone, const std::wstring& name) {
    const std::lock_guard lock(FLock);
    Store(phone, name, {}, false, stamp);
}

bool TFakeSqlTable::Lookup(const std::wstring& phone, std::wstring& name, std::wstring& comment) const {
    const std::lock_guard lock(FLock);
    const auto found = FRows.find(phone);
    if (found == FRows.end() || found->second.Deleted) return false;
    name = found->second.Name;
    comment = found->second.Comment;
    return true;
}

std::vector<TSqlChange> TFakeSqlTable::Written() const {
    const std::lock_guard lock(FLock);
    return FWritten;
}

int TFakeSqlTable::Reads() const {
    const std::lock_guard lock(FLock);
    return FReads;
}

int TFakeSqlTable::FullReads() const {
    const std::lock_guard lock(FLock);
    return FFullReads;
}

int64_t TFakeSqlTable::RowsRead() const {
    const std::lock_guard lock(FLock);
    return FRowsRead;
}

int64_t TFakeSqlTable::LastSince() const {
    const std::lock_guard lock(FLock);
    return FLastSince;
}

TSqlError TFakeSqlTable::Open() {
    std::unique_lock lock(FLock);
    WaitIfHung(lock, "Open");
    ++FOpens;
    if (FOpenError) return FOpenError;
    return FDown ? Unreachable() : TSqlError{};
}

TSqlError TFakeSqlTable::ReadChanges(int64_t since, const std::function<bool(const TSqlRow&)>& each) {
    std::vector<TSqlRow> rows;
    {
        std::unique_lock lock(FLock);
        WaitIfHung(lock, "Read");
        if (FDown) return Unreachable();
        for (const auto& [phone, row] : FRows)
            if (row.Stamp > since) rows.push_back(row);
        ++FReads;
        if (since == 0) ++FFullReads;
        FLastSince = since;
        FRowsRead += static_cast<int64_t>(rows.size());
    }
    std::sort(rows.begin(), rows.end(), [](const TSqlRow& a, const TSqlRow& b) { return a.Stamp < b.Stamp; });
    for (const TSqlRow& row : rows)
        if (!each(row)) break;
    return {};
}

TSqlError TFakeSqlTable::WriteChanges(const std::vector<TSqlChange>& changes) {
    std::unique_lock lock(FLock);
    WaitIfHung(lock, "Write");
    if (FDown) return Unreachable();
    if (FWriteError != TSqlErrorKind::None) return {FWriteError, {}, L"refused"};
    if (FDrops > 0) {
        --FDrops;
        return {TSqlErrorKind::Lost, L"08S01", L"dropped"};
    }
    for (const TSqlChange& change : changes) {
        Store(change.Phone, change.Name, change.Comment, change.Deleted, FNextStamp++);
        FWritten.push_back(change);
    }
    return {};
}
