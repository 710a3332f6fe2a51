"""The Python package end to end, against the simulator and the real daemon."""

import datetime
import time

import pytest

import ztcontrol


def test_recording_seen_by_name(camera):
    with ztcontrol.Client() as c:
        status = c.status()
        assert status["battery_percent"].id == 70
        changes = c.watch(queue=True, idle_ms=10000)
        assert next(changes).full
        c.shutter(True)
        deadline = time.monotonic() + 10
        for change in changes:
            if change.name == "encoding" and change.value == 1:
                assert not change.full
                break
            assert time.monotonic() < deadline, "no recording change arrived"
        else:
            pytest.fail("no recording change arrived")
        assert c.status()["encoding"].value == 1
        c.shutter(False)
    # The client closed the watch it still had; the generator ends quietly.
    assert list(changes) == []


def test_presets_refusals_and_any_command(camera):
    with ztcontrol.Client() as c:
        groups = [g.id for g in c.presets().preset_group_array]
        assert 1000 in groups
        created = c.create_preset(1000, 12, 20, 20)
        assert c.preset_info(created).id == created
        with pytest.raises(ztcontrol.Refused) as refused:
            c.tag_recording()  # only while recording
        assert refused.value.name.startswith("ZT_ERR")
        assert c.call("event-filter-in").result == -104  # ZT_ERR_NOT_SUPPORTED
        # The camera's clock keeps running from a date set in its own form.
        c.set_date_time(datetime.datetime(2030, 1, 2, 3, 4, 5))
        assert datetime.timedelta(0) <= c.date_time() - datetime.datetime(
            2030, 1, 2, 3, 4, 5, tzinfo=datetime.timezone.utc) < datetime.timedelta(seconds=5)
