#pragma once
#include <atomic>
#include <string>

class TTQRDataModule;
class TPQRDataModule;

// The directory client's side of a lookup and a save on another workstation.
class IRemoteDirectory {
public:
    virtual ~IRemoteDirectory() = default;
    virtual bool GetNameRegionCommentByPhoneRemote(const std::wstring& phone, std::wstring& name,
                                                   std::wstring& region, std::wstring& comment) = 0;
    virtual void AddEditRowRemote(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                                  const std::wstring& AbonentComment) = 0;
};

// The one place that reads and writes caller information: this workstation's own
// directories, or the directory server's when this workstation is its client.
// Safe to call from several threads; the modules protect themselves.
class TCallerLookup {
public:
    TCallerLookup(TTQRDataModule& areaList, TPQRDataModule& abonentList);
    TCallerLookup(const TCallerLookup&) = delete;
    TCallerLookup& operator=(const TCallerLookup&) = delete;

    // Without a remote directory the remote operations fail.
    void SetRemote(IRemoteDirectory* remote) { FRemote = remote; }
    bool UseRemoteDB() const { return FUseRemoteDB; }
    void SetUseRemoteDB(bool value) { FUseRemoteDB = value; }
    bool DBAsClient() const { return FDBAsClient; }
    void SetDBAsClient(bool value) { FDBAsClient = value; }

    // true: the directories were available and the lookup ran (the texts may
    // still be empty); false: it was not made or failed. The number is used as given.
    bool GetNameRegionCommentByPhone(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                     std::wstring& comment);
    bool GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                          std::wstring& comment);
    bool CheckDB();
    void AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                    const std::wstring& AbonentComment);

private:
    bool RemoteMode() const { return FUseRemoteDB && FDBAsClient; }

    TTQRDataModule& FAreaList;
    TPQRDataModule& FAbonentList;
    // Settings written on the main thread, read by every caller.
    std::atomic<bool> FUseRemoteDB{false};
    std::atomic<bool> FDBAsClient{false};
    std::atomic<IRemoteDirectory*> FRemote{nullptr};
};
