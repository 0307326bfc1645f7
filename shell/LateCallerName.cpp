#include "LateCallerName.h"

void GiveLateName(TRecorderDispatch& dispatch, TCallJournal& journal, const TLateNameTarget& target,
                  const std::wstring& name, const std::wstring& comment) {
    if (name.empty()) return;
    const TCall* call = dispatch.Calls().Find(target.Channel);
    if (!target.Ended && call && call->Id == target.CallId) {
        if (!call->Caller.Name.empty()) return;
        TCaller caller = call->Caller;
        caller.Name = name;
        if (!comment.empty()) caller.Comment = comment;
        dispatch.SetCaller(target.Channel, caller);
        return;
    }
    journal.NameEndedCall(target.CallId, name);
}
