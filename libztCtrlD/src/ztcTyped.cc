// Typed calls ("TC"): 'B' is the function's name, a NUL, then the inputs;
// the answer's 'E' holds the outputs. Outputs are decoded into locals and
// stored only when all of them arrived, so a failed call never writes them.
#include <string.h>

#include "utils.h"
#include "ztErrno.h"
#include "ztcArgs.h"
#include "ztcLink.h"
#include "ztcWire.h"

namespace {

constexpr uint32_t kMaxRange = 1400;  // longest name or list a request carries

class TypedCall {
public:
    explicit TypedCall(const char *function) : m_name(function), m_writer(m_buffer, sizeof m_buffer)
    {
        m_writer.bytes(function, static_cast<uint32_t>(strlen(function)) + 1);
    }
    TypedCall(const TypedCall &) = delete;
    TypedCall &operator=(const TypedCall &) = delete;

    ZtcArgWriter &in() { return m_writer; }

    // Sends the call. On status 0, `decode(reader)` reads the outputs and
    // returns false when they are incomplete (then ZT_ERR is returned).
    template <typename Decode>
    int run(ztc_msg_q_context_t *ctx, Decode decode)
    {
        if (!m_writer.ok()) {
            ZTLOG(ZT_LOG_ERROR, "%s: inputs do not fit one request", m_name);
            return ZT_ERR_INVALID_PARAM;
        }
        ztc::LinkLock lock;
        ztc::Answer a;
        const int rc = ztc::exchange(ctx, ZTC_KIND_TYPED, m_writer.data(), m_writer.length(), &a);
        if (rc != 0)
            return rc;
        if (a.status != 0)
            return a.status;
        ZtcArgReader reader(a.bytes, a.length);
        if (!decode(reader)) {
            ZTLOG(ZT_LOG_ERROR, "%s: answer of %u bytes lacks its outputs", m_name, a.length);
            return ZT_ERR;
        }
        return 0;
    }
    int run(ztc_msg_q_context_t *ctx)
    {
        return run(ctx, [](ZtcArgReader &) { return true; });
    }

private:
    const char *m_name;
    uint8_t m_buffer[ZTC_MSG_MAX];
    ZtcArgWriter m_writer;
};

int noArgs(ztc_msg_q_context_t *ctx, const char *function)
{
    return TypedCall(function).run(ctx);
}

int oneByteOut(ztc_msg_q_context_t *ctx, const char *function, uint8_t *out)
{
    if (!out)
        return ZT_ERR_INVALID_PARAM;
    return TypedCall(function).run(ctx, [out](ZtcArgReader &r) {
        const uint8_t v = r.u8();
        if (!r.ok())
            return false;
        *out = v;
        return true;
    });
}

int nameCall(ztc_msg_q_context_t *ctx, const char *function, const char *name, uint32_t length)
{
    if ((length && !name) || length > kMaxRange)
        return ZT_ERR_INVALID_PARAM;
    TypedCall call(function);
    call.in().range(name, length);
    return call.run(ctx);
}

}  // namespace

extern "C" {

int ztc_shutter(ztc_msg_q_context_t *ctx, uint8_t value)
{
    TypedCall call("ztc_shutter");
    call.in().u8(value);
    return call.run(ctx);
}

int ztc_app_set_mode(ztc_msg_q_context_t *ctx, int32_t mode)
{
    TypedCall call("ztc_app_set_mode");
    call.in().i32(mode);
    return call.run(ctx);
}

int ztc_app_set_mode_sub_mode(ztc_msg_q_context_t *ctx, int32_t mode, int32_t subMode)
{
    TypedCall call("ztc_app_set_mode_sub_mode");
    call.in().i32(mode).i32(subMode);
    return call.run(ctx);
}

int ztc_app_get_mode_flat_mode(ztc_msg_q_context_t *ctx, int32_t *appMode, int32_t *flatMode)
{
    if (!appMode || !flatMode)
        return ZT_ERR_INVALID_PARAM;
    return TypedCall("ztc_app_get_mode_flat_mode").run(ctx, [=](ZtcArgReader &r) {
        const int32_t app = r.i32(), flat = r.i32();
        if (!r.ok())
            return false;
        *appMode = app;
        *flatMode = flat;
        return true;
    });
}

int ztc_app_set_digital_zoom(ztc_msg_q_context_t *ctx, int32_t zoom)
{
    TypedCall call("ztc_app_set_digital_zoom");
    call.in().i32(zoom);
    return call.run(ctx);
}

int ztc_app_set_capture_delay(ztc_msg_q_context_t *ctx, int32_t delay)
{
    TypedCall call("ztc_app_set_capture_delay");
    call.in().i32(delay);
    return call.run(ctx);
}

int ztc_video_reset_to_valid_res_fps_fov(ztc_msg_q_context_t *ctx)
{
    return noArgs(ctx, "ztc_video_reset_to_valid_res_fps_fov");
}
int ztc_video_advset_reset(ztc_msg_q_context_t *ctx)
{
    return noArgs(ctx, "ztc_video_advset_reset");
}
int ztc_photo_advset_reset(ztc_msg_q_context_t *ctx)
{
    return noArgs(ctx, "ztc_photo_advset_reset");
}
int ztc_multishot_advset_reset(ztc_msg_q_context_t *ctx)
{
    return noArgs(ctx, "ztc_multishot_advset_reset");
}

int ztc_video_set_swiftlapse_speed_ramp(ztc_msg_q_context_t *ctx, uint32_t value)
{
    TypedCall call("ztc_video_set_swiftlapse_speed_ramp");
    call.in().u32(value);
    return call.run(ctx);
}

int ztc_video_set_swiftlapse_speed_ramp_active(ztc_msg_q_context_t *ctx, uint32_t value)
{
    TypedCall call("ztc_video_set_swiftlapse_speed_ramp_active");
    call.in().u32(value);
    return call.run(ctx);
}

int ztc_storage_tag_file(ztc_msg_q_context_t *ctx, const char *name, uint32_t nameLength,
                         uint32_t offset, uint32_t leadingWord)
{
    if ((nameLength && !name) || nameLength > kMaxRange)
        return ZT_ERR_INVALID_PARAM;
    TypedCall call("ztc_storage_tag_file");
    call.in().range(name, nameLength).u32(offset).u32(leadingWord);
    return call.run(ctx);
}

int ztc_storage_delete_file(ztc_msg_q_context_t *ctx, const char *name, uint32_t nameLength)
{
    return nameCall(ctx, "ztc_storage_delete_file", name, nameLength);
}

int ztc_storage_delete_group(ztc_msg_q_context_t *ctx, const char *name, uint32_t nameLength)
{
    return nameCall(ctx, "ztc_storage_delete_group", name, nameLength);
}

// As many items as fit one request with the context's reply queue name (61
// with the default one); a longer list is refused with ZT_ERR_INVALID_PARAM
// before anything is sent, and logged.
int ztc_storage_delete_list(ztc_msg_q_context_t *ctx, const file_list_item_t *items, uint32_t count)
{
    static_assert(sizeof(file_list_item_t) == 23, "delete-list items are packed 23-byte records");
    if (count && !items)
        return ZT_ERR_INVALID_PARAM;
    // No list longer than a message can fit; the bound also keeps the byte
    // size below from wrapping.
    if (count > ZTC_MSG_MAX / sizeof(file_list_item_t)) {
        ZTLOG(ZT_LOG_ERROR, "ztc_storage_delete_list: %u items do not fit one request", count);
        return ZT_ERR_INVALID_PARAM;
    }
    TypedCall call("ztc_storage_delete_list");
    call.in().u32(count).range(items, count * static_cast<uint32_t>(sizeof(file_list_item_t)));
    return call.run(ctx);
}

int ztc_fwupdate_download_start(ztc_msg_q_context_t *ctx)
{
    return noArgs(ctx, "ztc_fwupdate_download_start");
}
int ztc_fwupdate_download_cancel(ztc_msg_q_context_t *ctx)
{
    return noArgs(ctx, "ztc_fwupdate_download_cancel");
}

int ztc_fwupdate_download_done(ztc_msg_q_context_t *ctx, bool success)
{
    TypedCall call("ztc_fwupdate_download_done");
    call.in().u8(success ? 1 : 0);
    return call.run(ctx);
}

int ztc_system_get_lenses(ztc_msg_q_context_t *ctx, signed char *lensMode, signed char *lens)
{
    if (!lensMode || !lens)
        return ZT_ERR_INVALID_PARAM;
    return TypedCall("ztc_system_get_lenses").run(ctx, [=](ZtcArgReader &r) {
        const int8_t mode = r.i8(), which = r.i8();
        if (!r.ok())
            return false;
        *lensMode = mode;
        *lens = which;
        return true;
    });
}

int ztc_system_get_lens_type(ztc_msg_q_context_t *ctx, uint8_t *lensType)
{
    return oneByteOut(ctx, "ztc_system_get_lens_type", lensType);
}
int ztc_system_get_power_profile(ztc_msg_q_context_t *ctx, uint8_t *powerProfile)
{
    return oneByteOut(ctx, "ztc_system_get_power_profile", powerProfile);
}
int ztc_setup_get_camera_ux_mode(ztc_msg_q_context_t *ctx, uint8_t *uxMode)
{
    return oneByteOut(ctx, "ztc_setup_get_camera_ux_mode", uxMode);
}

int ztc_system_set_button(ztc_msg_q_context_t *ctx, uint8_t button, uint8_t state)
{
    TypedCall call("ztc_system_set_button");
    call.in().u8(button).u8(state);
    return call.run(ctx);
}

int ztc_system_set_rc_rotation(ztc_msg_q_context_t *ctx, uint8_t rotation)
{
    TypedCall call("ztc_system_set_rc_rotation");
    call.in().u8(rotation);
    return call.run(ctx);
}

int ztc_preset_onscreen_shortcuts_reset(ztc_msg_q_context_t *ctx)
{
    return noArgs(ctx, "ztc_preset_onscreen_shortcuts_reset");
}

}  // extern "C"
