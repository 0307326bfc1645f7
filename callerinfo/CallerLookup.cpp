#include "CallerLookup.h"

#include "DirectoryTextLimit.h"
#include "AppError.h"
#include "ExceptionText.h"
#include "pqrUnit.h"
#include "tqrUnit.h"

#include <exception>

TCallerLookup::TCallerLookup(TTQRDataModule& areaList, TPQRDataModule& abonentList)
    : FAreaList(areaList), FAbonentList(abonentList) {}

bool TCallerLookup::GetNameRegionCommentByPhone(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                                std::wstring& comment) {
    TLookupFailure failure;
    return GetNameRegionCommentByPhone(phone, name, region, comment, failure);
}

bool TCallerLookup::GetNameRegionCommentByPhone(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                                std::wstring& comment, TLookupFailure& failure) {
    name.clear();
    region.clear();
    comment.clear();
    failure = {};
    const TPopupTurn turn = BeginPopupLookup();
    struct TEnd {
        TCallerLookup& lookup;
        const TLookupFailure& failure;
        ~TEnd() { lookup.EndPopupLookup(failure); }
    } end{*this, failure};
    if (!RemoteMode()) {
        if (turn.KnownLocked) {
            // The city codes are not behind the subscriber table's lock.
            try {
                region = FAreaList.CityByPhone(phone);
            } catch (...) {
                region.clear();
            }
            failure = *turn.KnownLocked;
            return false;
        }
        return LocalLookup(phone, name, region, comment, turn.Deadline, &failure);
    }
    IRemoteDirectory* remote = FRemote;
    if (!remote) {
        failure.Kind = TLookupFailureKind::RemoteNotSet;
        return false;
    }
    // The caller is the event loop, which takes any error for a lost recorder link.
    try {
        return remote->LookupRemoteWithReason(phone, name, region, comment, failure, turn.Deadline);
    } catch (const std::exception&) {
        failure = {TLookupFailureKind::ExchangeFailed, GetExceptionText(std::current_exception())};
        return false;
    }
}

TCallerLookup::TPopupTurn TCallerLookup::BeginPopupLookup() {
    const TTime now = std::chrono::steady_clock::now();
    std::lock_guard guard(FBurstLock);
    if (!FLastPopupLookupEnd || now - *FLastPopupLookupEnd >= std::chrono::milliseconds(kPopupBurstGapMs)) {
        FBurstDeadline = now + std::chrono::milliseconds(kPopupLookupMaxWaitMs);
        FBurstLockFailure.reset();
    }
    // Trying the file once more would cost the store's own short retries for each
    // popup of the burst; a new burst tries again.
    return {FBurstDeadline, now >= FBurstDeadline ? FBurstLockFailure : std::nullopt};
}

void TCallerLookup::EndPopupLookup(const TLookupFailure& failure) {
    const TTime now = std::chrono::steady_clock::now();
    std::lock_guard guard(FBurstLock);
    FLastPopupLookupEnd = now;
    if (failure.Kind == TLookupFailureKind::LocalStoreLocked) FBurstLockFailure = failure;
}

bool TCallerLookup::GetNameRegionCommentByPhoneLocal(const std::wstring& phone, std::wstring& name,
                                                     std::wstring& region, std::wstring& comment) {
    return LocalLookup(phone, name, region, comment, std::nullopt, nullptr);
}

bool TCallerLookup::LocalLookup(const std::wstring& phone, std::wstring& name, std::wstring& region,
                                std::wstring& comment, LockDeadline deadline, TLookupFailure* failure) {
    name.clear();
    region.clear();
    comment.clear();
    try {
        // First, whatever the subscriber table's state (closed, or locked by
        // another workstation): the city codes still give the caller's region.
        region = FAreaList.CityByPhone(phone);
        if (!FAbonentList.Active() || !FAreaList.Active()) {
            if (failure) failure->Kind = TLookupFailureKind::DirectoriesClosed;
            return false;
        }
        FAbonentList.AbonentAndCommentByPhone(phone, name, comment, deadline);
        return true;
    } catch (const TableStoreError& error) {
        if (failure)
            *failure = {error.kind() == TableStoreError::Kind::Locked ? TLookupFailureKind::LocalStoreLocked
                                                                      : TLookupFailureKind::LocalStoreError,
                        error.message()};
        return false;
    } catch (const std::exception&) {
        if (failure) *failure = {TLookupFailureKind::LocalStoreError, GetExceptionText(std::current_exception())};
        return false;
    }
}

bool TCallerLookup::TrySubscriberNow(const std::wstring& phone, std::wstring& name, std::wstring& comment,
                                     TLookupFailure& failure) {
    name.clear();
    comment.clear();
    failure = {};
    if (RemoteMode()) {
        failure.Kind = TLookupFailureKind::RemoteNotSet;
        return false;
    }
    try {
        if (!FAbonentList.Active()) {
            failure.Kind = TLookupFailureKind::DirectoriesClosed;
            return false;
        }
        FAbonentList.AbonentAndCommentByPhone(phone, name, comment, std::chrono::steady_clock::now());
        return true;
    } catch (const TableStoreError& error) {
        failure = {error.kind() == TableStoreError::Kind::Locked ? TLookupFailureKind::LocalStoreLocked
                                                                 : TLookupFailureKind::LocalStoreError,
                   error.message()};
    } catch (const std::exception&) {
        failure = {TLookupFailureKind::LocalStoreError, GetExceptionText(std::current_exception())};
    }
    name.clear();
    comment.clear();
    return false;
}

bool TCallerLookup::CheckDB() { return FAbonentList.Active() && FAreaList.Active(); }

void TCallerLookup::AddEditRow(const std::wstring& PhoneNumber, const std::wstring& AbonentName,
                               const std::wstring& AbonentComment) {
    if (!RemoteMode()) {
        FAbonentList.AddEditRow(PhoneNumber, AbonentName, AbonentComment);
        return;
    }
    // The server could not even read it: say why here, not "no connection".
    RequireDirectoryTextsFit(PhoneNumber, AbonentName, AbonentComment);
    IRemoteDirectory* remote = FRemote;
    if (!remote) throw AppError(L"Сервер справочников не задан: данные абонента не сохранены.");
    remote->AddEditRowRemote(PhoneNumber, AbonentName, AbonentComment);
}
