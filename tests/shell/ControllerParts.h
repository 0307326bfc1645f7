#pragma once
#include "CrmNames.h"
#include "InformerController.h"
#include "OrgDirectoryPart.h"

// The controller's parts themselves, which it hands to no window: the tests
// look at them through here.
struct TInformerControllerTestAccess {
    static TTrayMsgWins& Popups(TInformerController& controller) { return *controller.FPopups; }
    static TCallJournal& Journal(TInformerController& controller) { return *controller.FCallJournal; }
    static TCrmNames& CrmNames(TInformerController& controller) {
        return *static_cast<TCrmNames*>(
            const_cast<INameSourcePart*>(controller.NameSourcePart(TSettingsPart::CrmNames)));
    }
    static const TOrgDirectory& OrgDirectory(TInformerController& controller) {
        return static_cast<const TOrgDirectoryPart*>(controller.NameSourcePart(TSettingsPart::OrgDirectory))
            ->Directory();
    }
    static TQuietTime& Quiet(TInformerController& controller) { return *controller.FQuiet; }
    // The quiet-time timer's tick.
    static void CheckQuietTime(TInformerController& controller) { controller.CheckQuietTime(); }
    static TLateSubscriberNames& LateSubscriberNames(TInformerController& controller) {
        return *controller.FLateNames;
    }
};
using Parts = TInformerControllerTestAccess;
