// In-process: the one-request commands of every family, the firmware queries
// that pass their answer on, the argument rules of the command table, the
// registry commands, names and delete lists byte for byte, and the system
// commands on the model assumed when the camera does not tell its
// own (57, which has the multi-camera mode): the wired-USB double set, the
// rotation sent once per change and the button translations.
#include <string.h>

#include "ClientMessages.h"
#include "HandlerFixture.h"
#include "StatusBlock.h"
#include "ztcontrol_remote_ops.h"

using zttest::concat;
using zttest::textArg;
using zttest::u16Arg;
using zttest::u32Arg;
using zttest::u8Arg;
using Trace = std::vector<std::string>;

namespace {

class System : public zttest::HandlerFixture {
protected:
    Outcome button(uint32_t type, uint32_t raw)
    {
        return run(ZTCONTROL_SYSTEM_BUTTON_SET, zttest::words({type, raw}));
    }
    // The remote's last rotation code is kept for the process: back to 0.
    void SetUp() override
    {
        HandlerFixture::SetUp();
        EXPECT_EQ(button(18, 0).code, 0);
    }
};

// Commands that make one request send it with their value, the ones that
// change or ignore it (plain forwards are left to the golden sessions); an
// argument that breaks the command's table rule (none allowed, present, at
// least so many bytes) is refused before anything is sent.
TEST_F(System, CommandsSendTheirOneRequestOrAreRefusedByTheArgumentRule)
{
    const struct {
        ztcontrol_command_t command;
        std::optional<Bytes> arg;
        int code;
        Requests requests;
    } cases[] = {
        {ZTCONTROL_SYSTEM_SHUTDOWN, {}, 0, {{"8,2", {1}}}},
        {ZTCONTROL_SYSTEM_SLEEP, {}, 0, {{"8,2", {0}}}},
        {ZTCONTROL_SET_IN_CONTEXTUAL_MENU, Bytes{1}, 0, {{"8,30", {1}}}},
        {ZTCONTROL_WEBCAM_REQUEST_EXIT, Bytes{7}, 0, {{"5,28", {}}}},  // ignores its argument
        {ZTCONTROL_WIFI_BAND_SELECT, u32Arg(1), 0, {{"6,19", {1}}}},
        {ZTCONTROL_WIFI_AP_CONTROL, u32Arg(2), 0, {{"AP", {6, 0}}}},
        {ZTCONTROL_WIFI_AP_CONTROL, u32Arg(3), ZT_ERR_INVALID_PARAM, {}},
        {ZTCONTROL_BLE_CONTROL, u8Arg(7), 0, {{"AP", {0x24, 0}}}},  // ignores its argument
        {ZTCONTROL_FW_UPDATE_DONE, u8Arg(5), 0, {{"ztc_fwupdate_download_done", {1}}}},
        {ZTCONTROL_FW_UPDATE_DONE, u8Arg(0), 0, {{"ztc_fwupdate_download_done", {0}}}},
        {ZTCONTROL_GET_ALL_SETTINGS_STATUS_IDS, Bytes{1}, ZT_ERR_NOT_SUPPORTED, {}},
        // The table's rules, one command each.
        {ZTCONTROL_DELETE_ALL, Bytes{}, ZT_ERR_INVALID_PARAM, {}},
        {ZTCONTROL_COMMAND_SHUTTER, {}, ZT_ERR_INVALID_PARAM, {}},
        {ZTCONTROL_PUSH_NOTIFICATIONS, Bytes{}, ZT_ERR_INVALID_PARAM, {}},
        {ZTCONTROL_SYSTEM_BUTTON_SET, Bytes(kZtButtonArgSize - 1, 0), ZT_ERR_INVALID_PARAM, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(run(c.command, c.arg).code, c.code);
        EXPECT_EQ(requests(), c.requests);
    }
    EXPECT_EQ(state().m_inContextualMenu, 1) << "kept for the status poll";
}

// Queries answer the firmware's bytes or its failure without data; those with
// the NAK-OFF rule answer the one byte 2 as a quiet ZT_ERR_NAK_OFF. One query
// on each side of the rule.
TEST_F(System, QueriesPassTheAnswerOrTheCamerasRefusal)
{
    const struct {
        ztcontrol_command_t command;
        uint8_t category, id;
        bool nakOff;
    } queries[] = {
        {ZTCONTROL_GET_ALL_SETTINGS, kSetupCategory, kAllSettingsGet, true},
        {ZTCONTROL_GET_DELETE_LIST_RESULT, kStorageCategory, kListDeleteStatusGet, false},
    };
    for (const auto &q : queries) {
        SCOPED_TRACE(q.command);
        const Bytes bytes(64, 0x5A);
        peer().scriptRemote(q.category, q.id, PeerAnswer::Bytes(bytes));
        EXPECT_EQ(run(q.command), (Outcome{0, bytes, false}));
        EXPECT_EQ(trace(), Trace{std::to_string(q.category) + "," + std::to_string(q.id)});
        peer().scriptRemote(q.category, q.id, PeerAnswer::Bytes({2}));
        EXPECT_EQ(run(q.command), (q.nakOff ? Outcome{ZT_ERR_NAK_OFF, {}, true} : Outcome{0, {2}}));
        peer().scriptRemote(q.category, q.id, PeerAnswer::Status(ZT_ERR_MQ_FAIL));
        EXPECT_EQ(run(q.command), (Outcome{ZT_ERR_MQ_FAIL, {}, false}));
    }
}

// Queue registration reads the flag word, then the name up to its NUL, and
// passes a refusal on (the push switch's text is in every golden session).
TEST_F(System, RegistryCommandsPassFlagNameAndText)
{
    EXPECT_EQ(run(ZTCONTROL_EVENT_REGISTER_MQUEUE, Bytes{1, 0, 0, 0, '/', 'q', 0, 'x'}).code, 0);
    EXPECT_EQ(run(ZTCONTROL_EVENT_REGISTER_MQUEUE, Bytes{0, 0, 0, 0, '/', 'q'}).code, 0);
    registry().refuseRegistration = true;
    EXPECT_EQ(run(ZTCONTROL_EVENT_REGISTER_MQUEUE, Bytes{2, 0, 0, 0, '/', 'r'}).code, ZT_ERR);
    EXPECT_EQ(registry().calls,
              (std::vector<std::string>{"register /q", "unregister /q", "register /r"}));
}

// `text` at `at` in `size` zero bytes, cut to the size.
zttest::Bytes field(size_t size, const std::string &text, size_t at = 0)
{
    zttest::Bytes b(size, 0);
    memcpy(b.data() + at, text.data(), std::min(text.size(), size - at));
    return b;
}

// Names reach the library without their terminator (a name filling its field
// has none, one without a NUL ends with the element); the delete list passes
// whole items only, none as a count of zero.
TEST_F(System, NamesAndDeleteListItemsReachTheLibraryByteForByte)
{
    const std::string name = "100ZTCAM/ZT010001.MP4", longName(kZtTagArgNameField, 'n');
    const auto tag = [](const std::string &text) {
        return concat({u32Arg(0xCAFE), field(kZtTagArgNameField, text), u32Arg(1234)});
    };
    const Bytes items = concat(
        {{1}, field(kZtDeleteItemNameField, name), {2}, field(kZtDeleteItemNameField, "b.JPG")});
    const Bytes full = concat({{0}, Bytes(kZtDeleteItemNameField, 'F')});  // no NUL
    const struct {
        ztcontrol_command_t command;
        Bytes arg;
        std::string function;
        Bytes inputs;
    } cases[] = {
        {ZTCONTROL_KEYMARK_TAG_PLAYBACK, tag(name), "ztc_storage_tag_file",
         concat({u16Arg(21), textArg(name), u32Arg(1234), u32Arg(0xCAFE)})},
        {ZTCONTROL_KEYMARK_TAG_PLAYBACK, tag(longName), "ztc_storage_tag_file",
         concat({u16Arg(kZtTagArgNameField), textArg(longName), u32Arg(1234), u32Arg(0xCAFE)})},
        {ZTCONTROL_DELETE, textArg("ZT010001.MP4", true), "ztc_storage_delete_file",
         concat({u16Arg(12), textArg("ZT010001.MP4")})},
        {ZTCONTROL_DELETE_LIST, concat({items, {9, 9, 9, 9}}), "ztc_storage_delete_list",
         concat({u32Arg(2), u16Arg(2 * kZtDeleteItemSize), items})},
        {ZTCONTROL_DELETE_LIST, Bytes(10, 'x'), "ztc_storage_delete_list",
         concat({u32Arg(0), u16Arg(0)})},
        {ZTCONTROL_DELETE_LIST, full, "ztc_storage_delete_list",
         concat({u32Arg(1), u16Arg(kZtDeleteItemSize), full})}};
    for (const auto &c : cases) {
        EXPECT_EQ(run(c.command, c.arg).code, 0) << c.command;
        EXPECT_EQ(sentTyped(c.function), c.inputs) << c.command;
    }
}

TEST_F(System, WiredUsbControlSkipsASetOfTheStateTheCameraHas)
{
    peer().scriptRemote(kSystemCategory, kAllStatusGet,
                        PeerAnswer::Bytes(zttest::StatusBlock().word(256, 1).bytes()));
    EXPECT_EQ(run(ZTCONTROL_SET_WIRED_USB_CONTROL, Bytes{1}).code, 0);
    EXPECT_EQ(trace(), Trace{"8,11"});
    EXPECT_EQ(run(ZTCONTROL_SET_WIRED_USB_CONTROL, Bytes{0}).code, 0);
    EXPECT_EQ(trace(), (Trace{"8,11", "8,44"}));
    EXPECT_EQ(sent().at(1).payload, Bytes{0});
}

TEST_F(System, RotationIsSentOnlyWhenTheRemoteReportsANewOne)
{
    EXPECT_EQ(button(1, 0x21).code, 0);
    EXPECT_EQ(trace(), (Trace{"ztc_system_set_rc_rotation", "ztc_system_set_button"}));
    EXPECT_EQ(sent().at(0).payload, Bytes{2});  // the code; 180 degrees
    EXPECT_EQ(button(1, 0x21).code, 0);
    EXPECT_EQ(trace(), Trace{"ztc_system_set_button"});
}

TEST_F(System, PlainAndMultiCamButtonsTranslateTypeAndState)
{
    const struct {
        uint32_t type, raw;
        std::string function;
        Bytes payload;
    } cases[] = {{0, 0, "ztc_system_set_button", {1, 3}},
                 {1, 0, "ztc_system_set_button", {0, 3}},
                 {2, 1, "ztc_system_set_button", {2, 4}},
                 {16, 0, "ztc_shutter", {1}},
                 {16, 1, "ztc_shutter", {0}}};
    for (const auto &c : cases) {
        EXPECT_EQ(button(c.type, c.raw).code, 0);
        EXPECT_EQ(sentTyped(c.function), c.payload) << c.type << "/" << c.raw;
    }
    for (const auto &[type, raw] :
         std::vector<std::pair<uint32_t, uint32_t>>{{0, 2}, {16, 2}, {3, 0}, {19, 0}, {17, 4}}) {
        EXPECT_EQ(button(type, raw).code, ZT_ERR_INVALID_PARAM);
        EXPECT_TRUE(trace().empty() || trace() == Trace{"8,11"});
    }
    EXPECT_EQ(button(18, 1).code, 0);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
