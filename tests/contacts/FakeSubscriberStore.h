#pragma once
// A thread-safe stand-in for the subscriber directory: counts every write per
// number and answers lookups, from any thread.
#include "SaveDataThreadUnit.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace contactstest {

struct StoredSave {
    std::wstring phone;
    std::wstring name;
    std::wstring comment;
    DWORD threadId = 0;
};

class FakeSubscriberStore {
public:
    void AddEditRow(const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
        std::lock_guard<std::mutex> lock(mutex_);
        saves_.push_back({phone, name, comment, ::GetCurrentThreadId()});
        Record& record = records_[phone];
        record.name = name;
        record.comment = comment;
        ++record.writes;
    }

    bool Lookup(const std::wstring& phone, std::wstring& name, std::wstring& comment) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++lookups_;
        const auto found = records_.find(phone);
        if (found == records_.end()) return false;
        name = found->second.name;
        comment = found->second.comment;
        return true;
    }

    TAddEditRowProc Saver() {
        return [this](const std::wstring& phone, const std::wstring& name, const std::wstring& comment) {
            AddEditRow(phone, name, comment);
        };
    }

    std::vector<StoredSave> Saves() {
        std::lock_guard<std::mutex> lock(mutex_);
        return saves_;
    }
    int Writes(const std::wstring& phone) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = records_.find(phone);
        return found == records_.end() ? 0 : found->second.writes;
    }
    size_t Size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_.size();
    }
    int Lookups() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lookups_;
    }

private:
    struct Record {
        std::wstring name;
        std::wstring comment;
        int writes = 0;
    };
    // mutex_ guards every field below.
    std::mutex mutex_;
    std::map<std::wstring, Record> records_;
    std::vector<StoredSave> saves_;
    int lookups_ = 0;
};

}  // namespace contactstest
