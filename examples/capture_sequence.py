#!/usr/bin/python3
"""A capture sequence on the ztcontrol package: record for a few seconds,
stop, and wait until the camera reports the recording ended.

    capture_sequence.py [--seconds N]
"""

import argparse
import sys

import ztcontrol


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=int, default=10, help="length of the recording")
    args = parser.parse_args()

    with ztcontrol.Client() as camera:
        before = camera.status()["total_videos"].value
        changes = camera.watch(idle_ms=30000)
        camera.shutter(True)
        print("recording")
        for change in changes:
            if change.name == "video_progress_seconds" and not change.full:
                print(f"  {change.value} s")
                if change.value >= args.seconds:
                    camera.shutter(False)
            elif change.name == "encoding" and change.value == 0 and not change.full:
                break
        else:
            print("the camera went quiet before the recording ended", file=sys.stderr)
            return 1
        status = camera.status()
        print(f"recording ended; videos on the card: {before} -> {status['total_videos'].value}")
        print(f"battery {status['battery_percent'].value} {status['battery_percent'].unit}")
        return 0 if status["total_videos"].value == before + 1 else 1


if __name__ == "__main__":
    sys.exit(main())
