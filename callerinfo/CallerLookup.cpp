#include "CallerLookup.h"

#include "AppError.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <exception>

TCallerLookup::TCallerLookup(TTQRDataModule& areaList, TPQRDataModule& abonentList)
    : FAreaList(areaList), FAbonentList(abonentList) {}

bool TCallerLookup::GetNameRegionCommentByPhone(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                                std::wstring& comment) {
    name.clear();
    region.clear();
    comment.clear();
    if (!RemoteMode())
        return LocalLookup(phone, name, region, comment,
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(kPopupLookupMaxWaitMs));
    IRemoteDirectory* remote = FRemote;
    if (!remote) return false;
    // The caller is the event loop, which takes any error for a lost recorder link.
    try {
        return remote->GetNameRegionCommentByPhoneRemote(phone, name, region, comment);
    } catch (const std::exception&) {
        return false;
    }
}

bool TCallerLookup::GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name,
                                                     std::wstring& region, std::wstring& comment) {
    return LocalLookup(phone, name, region, comment, std::nullopt);
}

bool TCallerLookup::LocalLookup(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                std::wstring& comment, LockDeadline deadline) {
    name.clear();
    region.clear();
    comment.clear();
    try {
        if (!FAbonentList.Active() || !FAreaList.Active()) return false;
        FAbonentList.AbonentAndCommentByPhone(phone, name, comment, deadline);
        region = FAreaList.CityByPhone(phone);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TCallerLookup::CheckDB() { return FAbonentList.Active() && FAreaList.Active(); }

void TCallerLookup::AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                               const std::wstring& AbonentComment) {
    if (!RemoteMode()) {
        FAbonentList.AddEditRow(PhoneNumber, AbonentName, AbonentComment);
        return;
    }
    IRemoteDirectory* remote = FRemote;
    if (!remote) throw AppError(L"Сервер справочников не задан: данные абонента не сохранены.");
    remote->AddEditRowRemote(PhoneNumber, AbonentName, AbonentComment);
}
