// Popup items and their collection: what reaches the popup manager, and when.
#include "TrayMsgWinItems.h"

#include "AppError.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Stands in for the popup manager and records every notification.
class RecordingOwner : public ITrayMsgWinsOwner {
public:
    void UpdateFormTMW(TTrayMsgWinItem* item) override {
        calls.push_back(item);
        if (onUpdate) onUpdate(item);
    }
    std::vector<TTrayMsgWinItem*> calls;
    std::function<void(TTrayMsgWinItem*)> onUpdate;
};

const std::vector<TTrayMsgWinItem*> kWholeCollection{nullptr};

class PopupItems : public ::testing::Test {
protected:
    RecordingOwner owner;
    TTrayMsgWinCollection items{&owner};

    TTrayMsgWinItem* AddQuietly() {
        TTrayMsgWinItem* item = items.Add();
        owner.calls.clear();
        return item;
    }
};

TEST_F(PopupItems, AddedItemsStartEmptyAndInvisibleWithConsecutiveIds) {
    for (int32_t expectedId = 0; expectedId < 3; ++expectedId) {
        owner.calls.clear();
        TTrayMsgWinItem* item = items.Add();
        EXPECT_EQ(kWholeCollection, owner.calls) << "each Add outside a bracket brings the windows in line once";
        EXPECT_EQ(expectedId, item->ID());
        EXPECT_EQ(&items, item->Collection());
        EXPECT_EQ(item, items.Items(expectedId)) << "items keep insertion order";
        EXPECT_FALSE(item->Visible());
        EXPECT_EQ(L"", item->Title());
        EXPECT_EQ(L"", item->SimpleText());
        EXPECT_EQ(L"", item->ClipboardText());
        EXPECT_EQ(L"", item->WinID());
        EXPECT_FALSE(item->UseRichText);
        EXPECT_FALSE(item->IsPreview);
    }
    EXPECT_EQ(&owner, items.Owner());
}

struct TextProperty {
    const char* name;
    void (TTrayMsgWinItem::*set)(const std::wstring&);
    const std::wstring& (TTrayMsgWinItem::*get)() const;
};

TEST_F(PopupItems, TextSettersNotifyOnlyWhenTheTextReallyChanges) {
    const TextProperty properties[] = {
        {"Title", &TTrayMsgWinItem::SetTitle, &TTrayMsgWinItem::Title},
        {"ClipboardText", &TTrayMsgWinItem::SetClipboardText, &TTrayMsgWinItem::ClipboardText},
        {"WinID", &TTrayMsgWinItem::SetWinID, &TTrayMsgWinItem::WinID},
        {"SimpleText", &TTrayMsgWinItem::SetSimpleText, &TTrayMsgWinItem::SimpleText},
    };
    for (const auto& property : properties) {
        SCOPED_TRACE(property.name);
        TTrayMsgWinItem* item = AddQuietly();
        const std::vector<TTrayMsgWinItem*> once{item};

        (item->*property.set)(L"Вызов K1");
        EXPECT_EQ(once, owner.calls);
        EXPECT_EQ(L"Вызов K1", (item->*property.get)());

        owner.calls.clear();
        (item->*property.set)(L"Вызов K1");
        EXPECT_TRUE(owner.calls.empty()) << "an equal text sends nothing";

        (item->*property.set)(L"ВЫЗОВ k1");
        EXPECT_EQ(once, owner.calls) << "a change of letter case is a change";
        EXPECT_EQ(L"ВЫЗОВ k1", (item->*property.get)());

        owner.calls.clear();
        (item->*property.set)(L"");
        EXPECT_EQ(once, owner.calls);
    }
}

TEST_F(PopupItems, VisibleNotifiesOnlyOnAChangeAndPlainFieldsNeverDo) {
    TTrayMsgWinItem* item = AddQuietly();
    item->SetVisible(false);
    EXPECT_TRUE(owner.calls.empty());
    item->SetVisible(true);
    EXPECT_EQ(std::vector<TTrayMsgWinItem*>{item}, owner.calls);
    owner.calls.clear();
    item->SetVisible(true);
    EXPECT_TRUE(owner.calls.empty());

    item->Caller.Number = L"74951234567";
    item->Caller.Name = L"Иванов";
    item->Caller.Comment = L"поставщик";
    item->Caller.Region = L"Москва";
    item->IsPreview = true;
    item->UseRichText = true;
    EXPECT_TRUE(owner.calls.empty()) << "plain fields wait for the next notification";
}

TEST_F(PopupItems, NestedBracketsDeliverOneWholeCollectionNotificationAtTheOutermostEnd) {
    TTrayMsgWinItem* kept = AddQuietly();
    items.BeginUpdate();
    items.BeginUpdate();
    TTrayMsgWinItem* item = items.Add();
    item->SetTitle(L"ВЫЗОВ");
    item->SetWinID(L"K1");
    item->SetVisible(true);
    item->Changed(false);
    kept->Changed(true);
    AddQuietly()->Free();
    items.EndUpdate();
    EXPECT_EQ(1, items.UpdateCount());
    EXPECT_TRUE(owner.calls.empty());
    items.EndUpdate();
    EXPECT_EQ(0, items.UpdateCount());
    EXPECT_EQ(kWholeCollection, owner.calls);

    owner.calls.clear();
    kept->Changed(true);
    EXPECT_EQ(kWholeCollection, owner.calls) << "Changed(true) names no item";
}

TEST_F(PopupItems, ClearSendsExactlyOneNotificationAfterEveryItemIsGone) {
    for (int i = 0; i < 3; ++i) AddQuietly()->SetVisible(true);
    owner.calls.clear();
    std::vector<int> countsSeen;
    owner.onUpdate = [&](TTrayMsgWinItem*) { countsSeen.push_back(items.Count()); };
    items.Clear();
    EXPECT_EQ(kWholeCollection, owner.calls);
    EXPECT_EQ(std::vector<int>{0}, countsSeen);
    EXPECT_EQ(0, items.UpdateCount());

    owner.calls.clear();
    items.Clear();
    EXPECT_TRUE(owner.calls.empty()) << "clearing an empty collection sends nothing";
}

TEST_F(PopupItems, FreeingAnInvisibleItemNotifiesWithTheItemAlreadyGone) {
    AddQuietly();
    TTrayMsgWinItem* middle = AddQuietly();
    TTrayMsgWinItem* last = AddQuietly();
    bool findableDuringNotification = true;
    owner.onUpdate = [&](TTrayMsgWinItem*) { findableDuringNotification = items.FindItemID(1) != nullptr; };
    middle->Free();
    EXPECT_EQ(kWholeCollection, owner.calls);
    EXPECT_FALSE(findableDuringNotification);
    EXPECT_EQ(2, items.Count());
    EXPECT_EQ(last, items.Items(1)) << "the items behind move up";

    owner.calls.clear();
    items.BeginUpdate();
    last->Free();
    EXPECT_TRUE(owner.calls.empty());
    items.EndUpdate();
    EXPECT_EQ(kWholeCollection, owner.calls);
}

TEST_F(PopupItems, DestroyingTheCollectionNotifiesNobody) {
    RecordingOwner quietOwner;
    {
        TTrayMsgWinCollection doomed(&quietOwner);
        doomed.Add()->SetVisible(true);
        doomed.Add()->SetVisible(true);
        quietOwner.calls.clear();
    }
    EXPECT_TRUE(quietOwner.calls.empty());
}

TEST_F(PopupItems, IdsAreNeverGivenTwice) {
    for (int i = 0; i < 3; ++i) AddQuietly();
    items.Items(1)->Free();
    EXPECT_EQ(3, AddQuietly()->ID());
    items.Clear();
    EXPECT_EQ(4, AddQuietly()->ID()) << "also after every item has been freed";
    EXPECT_EQ(nullptr, items.FindItemID(1));
    EXPECT_EQ(items.Items(0), items.FindItemID(4));
}

TEST_F(PopupItems, FindItemWinIDIgnoresCaseOfCyrillicAndLatinAndPrefersTheLowerPosition) {
    struct Case {
        std::vector<std::wstring> stored;
        std::wstring query;
        int expected;  // position, or -1 for none
    };
    const Case cases[] = {
        {{L"TEST_CHANNEL"}, L"test_channel", 0},
        {{L"Канал 1"}, L"КАНАЛ 1", 0},
        {{L"Ёлка"}, L"ёЛКА", 0},
        {{L"K1", L"k1"}, L"k1", 0},
        {{L"A", L"Канал", L"КАНАЛ"}, L"канал", 1},
        {{L"K10"}, L"K1", -1},
        {{L"K1"}, L"K10", -1},
        {{L"K1"}, L"К1", -1},  // Cyrillic К is another letter
        {{}, L"K1", -1},
        {{L"K1", L""}, L"", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.query));
        TTrayMsgWinCollection collection;
        for (const auto& name : c.stored) collection.Add()->SetWinID(name);
        const TTrayMsgWinItem* expected = c.expected < 0 ? nullptr : collection.Items(c.expected);
        EXPECT_EQ(expected, collection.FindItemWinID(c.query));
        EXPECT_EQ(static_cast<int>(c.stored.size()), collection.Count()) << "finding never creates";
    }
}

TEST_F(PopupItems, AnIndexOutsideTheListRaisesTheListIndexError) {
    for (int i = 0; i < 3; ++i) AddQuietly();
    for (int index : {-1, 3, 100}) {
        try {
            items.Items(index);
            ADD_FAILURE() << "no error for index " << index;
        } catch (const AppError& error) {
            EXPECT_EQ(L"List index out of bounds (" + std::to_wstring(index) + L")", error.message());
        }
    }
    EXPECT_NO_THROW(items.Items(2));
}

TEST_F(PopupItems, AssignCopiesEveryFieldAndNotifiesOnce) {
    TTrayMsgWinItem* source = AddQuietly();
    source->SetTitle(L"АОН");
    source->SetSimpleText(L"текст");
    source->SetClipboardText(L"84951234567");
    source->SetWinID(L"K1");
    source->SetVisible(true);
    source->Caller.Number = L"74951234567";
    source->Caller.Name = L"Иванов";
    source->Caller.Comment = L"поставщик";
    source->Caller.Region = L"Москва";
    source->IsPreview = true;
    source->UseRichText = true;
    TTrayMsgWinItem* target = AddQuietly();
    target->Assign(*source);
    EXPECT_EQ(std::vector<TTrayMsgWinItem*>{target}, owner.calls);
    EXPECT_EQ(source->Title(), target->Title());
    EXPECT_EQ(source->SimpleText(), target->SimpleText());
    EXPECT_EQ(source->ClipboardText(), target->ClipboardText());
    EXPECT_EQ(source->WinID(), target->WinID());
    EXPECT_TRUE(target->Visible());
    EXPECT_EQ(source->Caller.Number, target->Caller.Number);
    EXPECT_EQ(source->Caller.Name, target->Caller.Name);
    EXPECT_EQ(source->Caller.Comment, target->Caller.Comment);
    EXPECT_EQ(source->Caller.Region, target->Caller.Region);
    EXPECT_TRUE(target->IsPreview);
    EXPECT_TRUE(target->UseRichText);
    EXPECT_EQ(1, target->ID()) << "the identity is not copied";
}

TEST_F(PopupItems, AFailingManagerReachesTheWriterAndTheBracketStillCloses) {
    TTrayMsgWinItem* item = AddQuietly();
    owner.onUpdate = [](TTrayMsgWinItem*) { throw AppError(L"window failed"); };
    EXPECT_THROW(item->SetTitle(L"ВЫЗОВ"), AppError);
    EXPECT_EQ(L"ВЫЗОВ", item->Title()) << "the value is stored before the manager hears of it";

    owner.calls.clear();
    try {
        TTrayMsgWinUpdateBracket bracket(items);
        throw std::runtime_error("first error");
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ("first error", error.what()) << "a failing closing notification does not replace it";
    }
    EXPECT_EQ(0, items.UpdateCount());
    EXPECT_EQ(kWholeCollection, owner.calls);

    EXPECT_THROW({ TTrayMsgWinUpdateBracket bracket(items); }, AppError)
        << "without another error passing, the closing notification's error reaches the caller";
    EXPECT_EQ(0, items.UpdateCount());
}

}  // namespace
