#pragma once
#include "InformerController.h"

// The controller's parts themselves, which it hands to no window: the tests
// look at them through here.
struct TInformerControllerTestAccess {
    static TTrayMsgWins& Popups(TInformerController& controller) { return *controller.FPopups; }
    static TCallJournal& Journal(TInformerController& controller) { return *controller.FCallJournal; }
    static TCrmNames& CrmNames(TInformerController& controller) { return *controller.FCrmNames; }
    static TQuietTime& Quiet(TInformerController& controller) { return *controller.FQuiet; }
    static TLateSubscriberNames& LateSubscriberNames(TInformerController& controller) {
        return *controller.FLateNames;
    }
};
using Parts = TInformerControllerTestAccess;
