// The Python binding of libztClient's C interface (module ztcontrol._ztclient).
// It mirrors the C functions and returns their codes; the package ztcontrol
// turns codes into exceptions and answers into Python objects. Blocking
// calls release the interpreter lock, so other Python threads run meanwhile.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "ztTlv.h"
#include "ztclient.h"

namespace py = pybind11;

namespace {

using Release = py::call_guard<py::gil_scoped_release>;
// kind, id, value, name, unit, option
using ItemTuple = std::tuple<int, int, int, std::optional<std::string>, std::optional<std::string>,
                             std::optional<std::string>>;

std::optional<std::string> text(const char *s)
{
    return s ? std::optional<std::string>(s) : std::nullopt;
}

std::vector<ItemTuple> tuples(const ztclient_item_t *items, size_t count)
{
    std::vector<ItemTuple> out;
    for (size_t i = 0; i < count; ++i)
        out.emplace_back(items[i].kind, items[i].id, items[i].value, text(items[i].name),
                         text(items[i].unit), text(items[i].option));
    return out;
}

class WatchHandle;

// One client; closed by close() or when collected. Closing it closes its
// watches first, which use the client (a generator over a watch may be
// collected after its client was closed).
class Handle {
public:
    Handle() { m_rc = ztclient_open(&m_c); }
    ~Handle() { close(); }
    void close();
    int openResult() const { return m_rc; }
    ztclient_t *get() const { return m_c; }
    std::vector<WatchHandle *> watches;

private:
    ztclient_t *m_c = nullptr;
    int m_rc = 0;
};

class WatchHandle {
public:
    ~WatchHandle() { close(); }
    void close()
    {
        ztclient_watch_close(m_w);
        m_w = nullptr;
        if (m_owner) {
            auto &list = m_owner->watches;
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
            m_owner = nullptr;
        }
    }
    void attach(py::object client)
    {
        m_client = client;
        m_owner = &client.cast<Handle &>();
        m_owner->watches.push_back(this);
    }
    ztclient_watch_t *m_w = nullptr;

private:
    Handle *m_owner = nullptr;
    py::object m_client;  // keeps the Handle alive while the watch uses it
};

void Handle::close()
{
    while (!watches.empty())
        watches.back()->close();
    ztclient_close(m_c);
    m_c = nullptr;
}

// rc, kind, items, text
std::tuple<int, int, std::vector<ItemTuple>, std::string> next(WatchHandle &w, unsigned timeoutMs)
{
    ztclient_notification_t n{};
    int rc;
    {
        py::gil_scoped_release release;
        rc = ztclient_watch_next(w.m_w, timeoutMs, &n);
    }
    if (rc != 0)
        return {rc, 0, {}, ""};
    return {rc, n.kind, tuples(n.items, n.count), n.text};
}

using Getter = int (*)(ztclient_t *, ztclient_item_t *, size_t, size_t *);
std::tuple<int, std::vector<ItemTuple>> items(Handle &h, Getter get)
{
    std::vector<ztclient_item_t> buf(256);
    size_t count = 0;
    int rc;
    {
        py::gil_scoped_release release;
        rc = get(h.get(), buf.data(), buf.size(), &count);
    }
    return {rc, tuples(buf.data(), rc == 0 ? std::min(count, buf.size()) : 0)};
}

}  // namespace

PYBIND11_MODULE(_ztclient, m)
{
    m.doc() = "libztClient's C functions; use the ztcontrol package instead";
    py::class_<Handle>(m, "Handle")
        .def(py::init<>())
        .def("open_result", &Handle::openResult)
        .def("close", &Handle::close)
        .def("reply_queue", [](Handle &h) { return text(ztclient_reply_queue(h.get())); })
        .def("set_deadline", [](Handle &h, unsigned ms) { ztclient_set_deadline(h.get(), ms); })
        .def("call",
             [](Handle &h, int32_t command, std::optional<py::bytes> argument, int option,
                unsigned deadlineMs) {
                 std::string arg = argument ? std::string(*argument) : std::string();
                 std::vector<char> payload(ZTMSG_MAX);
                 int32_t result = 0;
                 size_t length = 0;
                 int rc;
                 {
                     py::gil_scoped_release release;
                     rc = ztclient_call(h.get(), command, argument ? arg.data() : nullptr,
                                        arg.size(), option, deadlineMs, &result, payload.data(),
                                        payload.size(), &length);
                 }
                 return std::make_tuple(
                     rc, result, py::bytes(payload.data(), std::min(length, payload.size())));
             })
        .def(
            "shutter", [](Handle &h, bool on) { return ztclient_shutter(h.get(), on); }, Release())
        .def(
            "tag_recording", [](Handle &h) { return ztclient_tag_recording(h.get()); }, Release())
        .def(
            "set_mode", [](Handle &h, uint16_t v) { return ztclient_set_mode(h.get(), v); },
            Release())
        .def(
            "set_setting",
            [](Handle &h, uint32_t id, uint32_t option) {
                return ztclient_set_setting(h.get(), id, option);
            },
            Release())
        .def(
            "busy",
            [](Handle &h) {
                int busy = 0;
                const int rc = ztclient_busy(h.get(), &busy);
                return std::make_tuple(rc, busy != 0);
            },
            Release())
        .def(
            "active_preset",
            [](Handle &h) {
                uint32_t id = 0;
                const int rc = ztclient_active_preset(h.get(), &id);
                return std::make_tuple(rc, id);
            },
            Release())
        .def(
            "quick_capture",
            [](Handle &h, uint8_t v) { return ztclient_quick_capture(h.get(), v); }, Release())
        .def(
            "set_capture_delay",
            [](Handle &h, uint32_t v) { return ztclient_set_capture_delay(h.get(), v); }, Release())
        .def(
            "set_zoom", [](Handle &h, uint32_t v) { return ztclient_set_zoom(h.get(), v); },
            Release())
        .def(
            "set_mode_family",
            [](Handle &h, uint32_t v) { return ztclient_set_mode_family(h.get(), v); }, Release())
        .def(
            "active_group",
            [](Handle &h) {
                uint32_t group = 0;
                const int rc = ztclient_active_group(h.get(), &group);
                return std::make_tuple(rc, group);
            },
            Release())
        .def(
            "get_date_time",
            [](Handle &h) {
                ztclient_date_time_t t{};
                const int rc = ztclient_get_date_time(h.get(), &t);
                return std::make_tuple(
                    rc, std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second));
            },
            Release())
        .def(
            "set_date_time",
            [](Handle &h, uint16_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
               uint8_t second) {
                const ztclient_date_time_t t{year, month, day, hour, minute, second};
                return ztclient_set_date_time(h.get(), &t);
            },
            Release())
        .def(
            "delete_file",
            [](Handle &h, const std::string &name) {
                return ztclient_delete_file(h.get(), name.c_str());
            },
            Release())
        .def(
            "delete_last", [](Handle &h) { return ztclient_delete_last(h.get()); }, Release())
        .def(
            "wifi_ap", [](Handle &h, bool on) { return ztclient_wifi_ap(h.get(), on); }, Release())
        .def(
            "wifi_band", [](Handle &h, uint32_t v) { return ztclient_wifi_band(h.get(), v); },
            Release())
        .def(
            "wifi_scan",
            [](Handle &h) {
                uint8_t id = 0;
                const int rc = ztclient_wifi_scan(h.get(), &id);
                return std::make_tuple(rc, id);
            },
            Release())
        .def(
            "locate", [](Handle &h, bool on) { return ztclient_locate(h.get(), on); }, Release())
        .def(
            "set_log_level",
            [](Handle &h, uint32_t v) { return ztclient_set_log_level(h.get(), v); }, Release())
        .def(
            "sleep", [](Handle &h) { return ztclient_sleep(h.get()); }, Release())
        .def(
            "shutdown", [](Handle &h) { return ztclient_shutdown(h.get()); }, Release())
        .def(
            "push_notifications",
            [](Handle &h, bool on) { return ztclient_push_notifications(h.get(), on); }, Release())
        .def(
            "stop_daemon", [](Handle &h) { return ztclient_stop_daemon(h.get()); }, Release())
        .def("status", [](Handle &h) { return items(h, ztclient_get_status); })
        .def("settings", [](Handle &h) { return items(h, ztclient_get_settings); })
        .def("state", [](Handle &h) { return items(h, ztclient_get_state); })
        .def("watch", [](py::object self, bool queue, unsigned deadlineMs) {
            Handle &h = self.cast<Handle &>();
            auto w = std::make_unique<WatchHandle>();
            int rc;
            {
                py::gil_scoped_release release;
                rc = queue ? ztclient_watch_queue(h.get(), deadlineMs, &w->m_w)
                           : ztclient_watch_tcp(h.get(), 0, deadlineMs, &w->m_w);
            }
            if (rc == 0)
                w->attach(self);
            return std::make_tuple(rc, std::move(w));
        });
    py::class_<WatchHandle>(m, "WatchHandle")
        .def("next", &next)
        .def("close", &WatchHandle::close)
        .def("closed", [](WatchHandle &w) { return w.m_w == nullptr; })
        .def("fd", [](WatchHandle &w) { return ztclient_watch_fd(w.m_w); });
    m.def("result_name", [](int code) { return std::string(ztclient_result_name(code)); });
    m.def("result_reason", [](int code) { return text(ztclient_result_reason(code)); });
    m.def("command_value",
          [](const std::string &name) { return ztclient_command_value(name.c_str()); });
    m.def("command_name", [](int32_t v) { return text(ztclient_command_name(v)); });
    m.def("status_id", [](const std::string &name) { return ztclient_status_id(name.c_str()); });
    m.def("setting_id", [](const std::string &name) { return ztclient_setting_id(name.c_str()); });
    m.attr("TIMEOUT") = static_cast<int>(ZTCLIENT_TIMEOUT);
    m.attr("CLOSED") = static_cast<int>(ZTCLIENT_CLOSED);
    m.attr("FULL_STATE") = static_cast<int>(ZTCLIENT_FULL_STATE);
    m.attr("CHANGES") = static_cast<int>(ZTCLIENT_CHANGES);
    m.attr("SHUTDOWN_PENDING") = static_cast<int>(ZTCLIENT_SHUTDOWN_PENDING);
}
