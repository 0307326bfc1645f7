#include "SimulatorFixture.h"

#include "AppError.h"
#include "SimInstances.h"
#include "TestFolders.h"

#include <span>

std::wstring SimulatorTest::session_;

void SimulatorTest::SetUpTestSuite() {
    session_ = UniqueSimSession();
    // Read by the simulator when it starts its control pipe in this process.
    ::SetEnvironmentVariableW(L"KORDAVIN_SIM_SESSION", session_.c_str());
    HMODULE sim = ::LoadLibraryW((ProgramFolder() + L"\\KordavinSim.dll").c_str());
    ASSERT_NE(nullptr, sim) << "KordavinSim.dll not found beside the test";
    using Register = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Register>(reinterpret_cast<void*>(::GetProcAddress(sim, "DllRegisterServer")));
    ASSERT_NE(nullptr, registerServer);
    ASSERT_EQ(S_OK, registerServer());
}

void SimulatorTest::SetUp() { ASSERT_TRUE(SUCCEEDED(apartment_.result())); }

std::wstring SimulatorTest::Control(const std::wstring& line) {
    const SimReply reply = SendSimCommand(SimPipeName(session_, ::GetCurrentProcessId()), line);
    return reply.delivered ? reply.text : L"NOT DELIVERED " + reply.text;
}

std::optional<TRecorderEvent> SimulatorTest::ReadEvent(KordavinClient& client) {
    ComVariant message;
    if (client.ReadMessage(message) != 0) return std::nullopt;
    const VARIANT* value = message.get();
    if (value->vt != (VT_ARRAY | VT_UI1) || ::SafeArrayGetDim(value->parray) != 1)
        throw AppError(L"event is not a byte array");
    SafeArrayDataLock lock(value->parray);
    const size_t size = value->parray->rgsabound[0].cElements;
    auto event = DecodeRecorderEvent(std::span(static_cast<const uint8_t*>(lock.data()), size));
    if (!event) throw AppError(L"event record too short");
    return event;
}
