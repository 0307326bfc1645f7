// The administrative templates: well-formed, every policy fixes a setting the
// program reads, and both languages name every text and dialog of them.
#include "ComVariant.h"
#include "SettingsTable.h"
#include "TestFolders.h"

#include <gtest/gtest.h>
#include <msxml2.h>
#include <wrl/client.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Kordavin\\Informer";
// The start with Windows lives in the Run key, not in the INI file; its policy
// value gets a name of its own.
const std::map<std::wstring, std::wstring> kPoliciesWithoutIniKey = {{L"AutoRun", L"(autorun)"}};

// Element names with their attributes, in document order.
struct XmlElement {
    std::wstring name;
    std::map<std::wstring, std::wstring> attributes;
};

struct XmlFile {
    std::wstring error;  // the parser's reason, when the file is not well-formed
    std::vector<XmlElement> elements;
};

class ComScope {
public:
    ComScope() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComScope() { ::CoUninitialize(); }
};

std::wstring NodeName(IXMLDOMNode* node) {
    ComBstr name;
    node->get_nodeName(name.receive());
    return name.text();
}

std::wstring NodeText(IXMLDOMNode* node) {
    ComBstr text;
    node->get_text(text.receive());
    return text.text();
}

XmlFile ReadXml(const std::wstring& path) {
    // MSXML 6 where there is one, else 3; their parser checks well-formedness strictly.
    static const CLSID kDomDocument60 = {0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
    static const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
    XmlFile file;
    ComPtr<IXMLDOMDocument> document;
    if (FAILED(::CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                  reinterpret_cast<void**>(document.GetAddressOf()))) &&
        FAILED(::CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                  reinterpret_cast<void**>(document.GetAddressOf())))) {
        file.error = L"no XML parser";
        return file;
    }
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    ComVariant source;
    source.get()->vt = VT_BSTR;
    source.get()->bstrVal = ::SysAllocString(path.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(document->load(*source.get(), &loaded)) || loaded != VARIANT_TRUE) {
        ComPtr<IXMLDOMParseError> parseError;
        ComBstr reason;
        long line = 0;
        if (SUCCEEDED(document->get_parseError(parseError.GetAddressOf()))) {
            parseError->get_reason(reason.receive());
            parseError->get_line(&line);
        }
        file.error = L"line " + std::to_wstring(line) + L": " + reason.text();
        if (reason.text().empty() && line == 0) file.error = L"not loaded";
        return file;
    }
    ComPtr<IXMLDOMNodeList> all;
    ComBstr any(L"*");
    document->getElementsByTagName(any.get(), all.GetAddressOf());
    long count = 0;
    if (all) all->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node;
        if (FAILED(all->get_item(i, node.GetAddressOf())) || !node) continue;
        XmlElement element{NodeName(node.Get()), {}};
        ComPtr<IXMLDOMNamedNodeMap> attributes;
        long attributeCount = 0;
        if (SUCCEEDED(node->get_attributes(attributes.GetAddressOf())) && attributes)
            attributes->get_length(&attributeCount);
        for (long a = 0; a < attributeCount; ++a) {
            ComPtr<IXMLDOMNode> attribute;
            if (SUCCEEDED(attributes->get_item(a, attribute.GetAddressOf())) && attribute)
                element.attributes[NodeName(attribute.Get())] = NodeText(attribute.Get());
        }
        file.elements.push_back(std::move(element));
    }
    return file;
}

// The templates are copied beside the test program at configuration.
std::wstring TemplateFile(const std::wstring& name) { return ProgramFolder() + L"\\policy-templates\\" + name; }

const wchar_t* const kTemplates[] = {L"KordavinInformer.admx", L"ru-RU\\KordavinInformer.adml",
                                     L"en-US\\KordavinInformer.adml"};
const wchar_t* const kLanguages[] = {L"ru-RU\\KordavinInformer.adml", L"en-US\\KordavinInformer.adml"};

// Every "$(kind.id)" reference among the attribute values of a file.
std::set<std::wstring> References(const XmlFile& file, const std::wstring& kind) {
    std::set<std::wstring> ids;
    const std::wstring opening = L"$(" + kind + L".";
    for (const XmlElement& element : file.elements)
        for (const auto& [name, value] : element.attributes)
            if (value.starts_with(opening) && value.ends_with(L")"))
                ids.insert(value.substr(opening.size(), value.size() - opening.size() - 1));
    return ids;
}

// The values of one attribute over the elements of one name (any name when empty).
std::vector<std::wstring> AttributeValues(const XmlFile& file, const std::wstring& elementName,
                                          const std::wstring& attribute) {
    std::vector<std::wstring> values;
    for (const XmlElement& element : file.elements) {
        if (!elementName.empty() && element.name != elementName) continue;
        const auto found = element.attributes.find(attribute);
        if (found != element.attributes.end()) values.push_back(found->second);
    }
    return values;
}

std::set<std::wstring> AsSet(const std::vector<std::wstring>& values) { return {values.begin(), values.end()}; }

class PolicyTemplates : public ::testing::Test {
protected:
    ComScope com_;
};

}  // namespace

TEST_F(PolicyTemplates, AreWellFormedAndABrokenFileIsToldApart) {
    for (const wchar_t* name : kTemplates) {
        const XmlFile file = ReadXml(TemplateFile(name));
        EXPECT_EQ(L"", file.error) << name;
        EXPECT_FALSE(file.elements.empty()) << name;
    }
    TempFolder folder;
    const std::wstring broken = folder.file(L"broken.admx");
    {
        std::ofstream out(std::filesystem::path(broken), std::ios::binary);
        out << "<?xml version=\"1.0\"?><policyDefinitions><policies><policy name=\"a\"></policies></policyDefinitions>";
    }
    EXPECT_NE(L"", ReadXml(broken).error) << "the parser must tell a broken file";
}

TEST_F(PolicyTemplates, EveryPolicyValueNamesASettingTheProgramReads) {
    const XmlFile admx = ReadXml(TemplateFile(L"KordavinInformer.admx"));
    ASSERT_EQ(L"", admx.error);
    const std::vector<std::wstring> valueNames = AttributeValues(admx, L"", L"valueName");
    ASSERT_FALSE(valueNames.empty());
    for (const std::wstring& valueName : valueNames) {
        const auto special = kPoliciesWithoutIniKey.find(valueName);
        const TSettingRow* row = FindSettingRow(special == kPoliciesWithoutIniKey.end() ? valueName : special->second);
        ASSERT_NE(nullptr, row) << "no setting of the program is named " << testing::PrintToString(valueName);
        if (special == kPoliciesWithoutIniKey.end()) {
            EXPECT_NE(TSettingStore::None, row->Store) << "not an INI key: " << testing::PrintToString(valueName);
        }
        EXPECT_EQ(row, FindSettingRowByPolicy(valueName))
            << "the program does not read the policy " << testing::PrintToString(valueName);
    }
    EXPECT_EQ(valueNames.size(), AsSet(valueNames).size()) << "one policy value per setting";
}

TEST_F(PolicyTemplates, EverySettingTheProgramLetsAnAdministratorFixHasAPolicyOfItsValuesType) {
    const XmlFile admx = ReadXml(TemplateFile(L"KordavinInformer.admx"));
    ASSERT_EQ(L"", admx.error);
    // The element that names a value says its registry type: a text box writes
    // REG_SZ; a number, a list of choices or an on/off policy writes REG_DWORD.
    std::map<std::wstring, std::wstring> elementOf;
    for (const XmlElement& element : admx.elements) {
        const auto name = element.attributes.find(L"valueName");
        if (name != element.attributes.end()) elementOf[name->second] = element.name;
    }
    for (const TSettingRow& row : SettingsTable()) {
        if (!row.PolicyValue) continue;
        const std::wstring valueName = row.PolicyValue;
        const auto found = elementOf.find(valueName);
        ASSERT_NE(elementOf.end(), found) << "no policy for " << testing::PrintToString(valueName);
        const bool isText = found->second == L"text";
        EXPECT_EQ(row.Store == TSettingStore::Text, isText)
            << testing::PrintToString(valueName) << " is a " << testing::PrintToString(found->second);
    }
}

TEST_F(PolicyTemplates, EverySettingAnAdministratorFixesHasAPolicy) {
    const XmlFile admx = ReadXml(TemplateFile(L"KordavinInformer.admx"));
    ASSERT_EQ(L"", admx.error);
    const std::set<std::wstring> valueNames = AsSet(AttributeValues(admx, L"", L"valueName"));
    for (const wchar_t* key : {L"Server", L"Active", L"AreaCodesPath", L"AbonentPhonePath", L"UseRemoteDB",
                               L"DBAsClient", L"DBServerAddress", L"DBPort", L"DBAllowedClients", L"CrmUrlTemplate",
                               L"CrmOpenMode", L"JournalDays", L"JournalMaxCalls", L"MissedCallBalloon", L"AutoRun"})
        EXPECT_TRUE(valueNames.count(key)) << "no policy for " << testing::PrintToString(std::wstring(key));
}

TEST_F(PolicyTemplates, EveryPolicyWritesUnderTheProgramsPolicyKeyForMachineAndUser) {
    const XmlFile admx = ReadXml(TemplateFile(L"KordavinInformer.admx"));
    ASSERT_EQ(L"", admx.error);
    size_t policies = 0;
    for (const XmlElement& element : admx.elements) {
        if (element.name != L"policy") continue;
        ++policies;
        const std::wstring name = element.attributes.count(L"name") ? element.attributes.at(L"name") : L"";
        EXPECT_EQ(kPolicyKey, element.attributes.count(L"key") ? element.attributes.at(L"key") : L"") << name;
        EXPECT_EQ(L"Both", element.attributes.count(L"class") ? element.attributes.at(L"class") : L"") << name;
    }
    EXPECT_GE(policies, 15u);
    for (const std::wstring& key : AttributeValues(admx, L"", L"key")) EXPECT_EQ(kPolicyKey, key);
}

TEST_F(PolicyTemplates, BothLanguagesHaveEveryTextAndDialog) {
    const XmlFile admx = ReadXml(TemplateFile(L"KordavinInformer.admx"));
    ASSERT_EQ(L"", admx.error);
    const std::set<std::wstring> strings = References(admx, L"string");
    const std::set<std::wstring> presentations = References(admx, L"presentation");
    const std::set<std::wstring> elementIds = AsSet(AttributeValues(admx, L"", L"id"));
    ASSERT_FALSE(strings.empty());
    ASSERT_FALSE(presentations.empty());
    std::set<std::wstring> firstLanguageStrings;
    for (const wchar_t* name : kLanguages) {
        const XmlFile adml = ReadXml(TemplateFile(name));
        ASSERT_EQ(L"", adml.error) << name;
        const std::set<std::wstring> defined = AsSet(AttributeValues(adml, L"string", L"id"));
        for (const std::wstring& id : strings)
            EXPECT_TRUE(defined.count(id)) << name << " lacks the text " << testing::PrintToString(id);
        const std::set<std::wstring> dialogs = AsSet(AttributeValues(adml, L"presentation", L"id"));
        for (const std::wstring& id : presentations)
            EXPECT_TRUE(dialogs.count(id)) << name << " lacks the dialog " << testing::PrintToString(id);
        for (const std::wstring& refId : AttributeValues(adml, L"", L"refId"))
            EXPECT_TRUE(elementIds.count(refId)) << name << ": no element " << testing::PrintToString(refId);
        if (firstLanguageStrings.empty())
            firstLanguageStrings = defined;
        else
            EXPECT_EQ(firstLanguageStrings, defined) << "both languages define the same texts";
    }
}
