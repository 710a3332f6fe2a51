"""Drive ztControlD from Python.

    import ztcontrol
    with ztcontrol.Client() as camera:
        camera.shutter(True)
        print(camera.status()["battery_percent"].value)
        for change in camera.watch():
            print(change.name, change.value)

Commands the daemon refuses raise ztcontrol.Refused, failed exchanges (no
daemon, no answer in time) raise ztcontrol.Error; both carry the code, its
name and a short reason. Preset answers are protobuf messages
(ztcontrol.presets_pb for the modules).
"""

import collections
import datetime
import os
import sys

from . import _ztclient

# The preset schemas import each other by their folder names
# ("wsdkCommands/WSDK_Preset.proto"), so their generated modules are found
# from the folder that holds those folders.
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "proto"))
from wsdkCommands import WSDK_NotifyPresetStatus_pb2  # noqa: E402
from wsdkCommands import WSDK_Preset_pb2  # noqa: E402
from wsdkCommands import WSDK_RequestCreateCustomPreset_pb2  # noqa: E402
from ztControlCommands import ztControl_presets_pb2  # noqa: E402

__all__ = ["Client", "Error", "Refused", "Item", "Change", "Answer", "command"]


class Error(Exception):
    """A failed exchange (positive code) or a refusal (negative code)."""

    def __init__(self, code):
        self.code = code
        self.name = _ztclient.result_name(code)
        self.reason = _ztclient.result_reason(code)
        text = f"{self.name} ({code})"
        super().__init__(text + (f": {self.reason}" if self.reason else ""))


class Refused(Error):
    """The daemon answered with a result other than ZT_OK."""


def _check(code):
    if code < 0:
        raise Refused(code)
    if code > 0:
        raise Error(code)


Answer = collections.namedtuple("Answer", "result payload")
# kind is "status" or "setting"; unit and option are None where the
# vocabulary has none.
Item = collections.namedtuple("Item", "kind id name value unit option")
# One item of a notification; full is True for the items of the full state
# the daemon sends first.
Change = collections.namedtuple("Change", "kind id name value unit option full")

_KINDS = {1: "status", 2: "setting"}


def _item(t):
    kind, ident, value, name, unit, option = t
    return Item(_KINDS.get(kind, "?"), ident, name, value, unit, option)


def command(name_or_value):
    """A command's value from its name ("COMMAND_SHUTTER", "get-busy-status")."""
    if isinstance(name_or_value, int):
        return name_or_value
    value = _ztclient.command_value(name_or_value)
    if value < 0:
        raise ValueError(f"no command named {name_or_value!r}")
    return value


class Client:
    """A client of the daemon with its own reply queue; usable from threads."""

    def __init__(self, timeout_ms=5000):
        self._h = _ztclient.Handle()
        _check(self._h.open_result())
        self._h.set_deadline(timeout_ms)
        self.timeout_ms = timeout_ms

    def close(self):
        self._h.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def reply_queue(self):
        return self._h.reply_queue()

    def call(self, cmd, argument=None, option=-1, timeout_ms=None):
        """Any command (name or value) with argument bytes; the Answer,
        whatever the result. Raises Error only when the exchange failed."""
        rc, result, payload = self._h.call(
            command(cmd), argument, option, timeout_ms or self.timeout_ms)
        _check(rc)
        return Answer(result, payload)

    def shutter(self, on):
        _check(self._h.shutter(bool(on)))

    def tag_recording(self):
        _check(self._h.tag_recording())

    def set_mode(self, flat_mode_or_group):
        _check(self._h.set_mode(flat_mode_or_group))

    def set_setting(self, setting, option):
        """A setting by id or name, to an option id."""
        if isinstance(setting, str):
            setting = _ztclient.setting_id(setting)
        _check(self._h.set_setting(setting, option))

    def busy(self):
        rc, busy = self._h.busy()
        _check(rc)
        return busy

    def active_preset(self):
        rc, ident = self._h.active_preset()
        _check(rc)
        return ident

    def quick_capture(self, value=1):
        _check(self._h.quick_capture(value))

    def set_capture_delay(self, seconds):
        _check(self._h.set_capture_delay(seconds))

    def set_zoom(self, zoom):
        _check(self._h.set_zoom(zoom))

    def set_mode_family(self, family):
        """0 video, 1 photo, 2 time lapse."""
        _check(self._h.set_mode_family(family))

    def active_group(self):
        rc, group = self._h.active_group()
        _check(rc)
        return group

    def date_time(self):
        """The camera's clock (UTC) as a datetime."""
        rc, t = self._h.get_date_time()
        _check(rc)
        return datetime.datetime(*t, tzinfo=datetime.timezone.utc)

    def set_date_time(self, when):
        """Sets the camera's clock from a datetime (taken as UTC when naive)."""
        if when.tzinfo:
            when = when.astimezone(datetime.timezone.utc)
        _check(self._h.set_date_time(when.year, when.month, when.day, when.hour, when.minute,
                                     when.second))

    def delete_file(self, name):
        _check(self._h.delete_file(name))

    def delete_last(self):
        _check(self._h.delete_last())

    def wifi_ap(self, on):
        _check(self._h.wifi_ap(bool(on)))

    def wifi_band(self, band):
        _check(self._h.wifi_band(band))

    def wifi_scan(self):
        """Starts a scan; its id."""
        rc, scan_id = self._h.wifi_scan()
        _check(rc)
        return scan_id

    def locate(self, on):
        _check(self._h.locate(bool(on)))

    def set_log_level(self, level):
        _check(self._h.set_log_level(level))

    def sleep(self):
        _check(self._h.sleep())

    def shutdown(self):
        _check(self._h.shutdown())

    def stop_daemon(self):
        _check(self._h.stop_daemon())

    def _items(self, get):
        rc, items = get()
        _check(rc)
        return {i.name or str(i.id): i for i in map(_item, items)}

    def status(self):
        """Status items by name."""
        return self._items(self._h.status)

    def settings(self):
        """Settings by name."""
        return self._items(self._h.settings)

    def presets(self):
        """Every preset group and preset (WSDK_NotifyPresetStatus)."""
        return self._message(81, None, WSDK_NotifyPresetStatus_pb2.WSDK_NotifyPresetStatus)

    def preset_info(self, preset_id):
        request = ztControl_presets_pb2.ZTC_Preset_Info_Req(preset_id=preset_id)
        return self._message(72, request, WSDK_Preset_pb2.WSDK_Preset)

    def create_preset(self, group, flat_mode, icon, title):
        request = ztControl_presets_pb2.ZTC_Preset_Custom_Create_Req(
            group_id=group, flat_mode=flat_mode, preset_icon=icon, preset_name=title,
            preset_name_iterator=0)
        return self._message(
            73, request, WSDK_RequestCreateCustomPreset_pb2.WSDK_ResponseCreateCustomPreset
        ).preset_id

    def load_preset(self, preset_id):
        request = ztControl_presets_pb2.ZTC_Preset_Load_Req(preset_id=preset_id)
        _check(self.call(76, request.SerializeToString()).result)

    def _message(self, cmd, request, cls):
        answer = self.call(cmd, request.SerializeToString() if request else None)
        _check(answer.result)
        message = cls()
        message.ParseFromString(answer.payload)
        return message

    def watch(self, queue=False, idle_ms=None):
        """Yields a Change per notified item: from port 8081, or with
        queue=True from a queue registered with the daemon. Ends after idle_ms
        without a notification (None: never); raises Error when the daemon
        drops the connection."""
        rc, w = self._h.watch(bool(queue), self.timeout_ms)
        _check(rc)
        try:
            while not w.closed():  # closing the client closes its watches
                rc, kind, items, _text = w.next(idle_ms if idle_ms is not None else 1000)
                if rc == _ztclient.TIMEOUT:
                    if idle_ms is not None:
                        return
                    continue
                _check(rc)
                for i in map(_item, items):
                    if w.closed():
                        return
                    yield Change(*i, full=kind == _ztclient.FULL_STATE)
        finally:
            w.close()
