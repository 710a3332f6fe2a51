// A camera service on the client library: tags a highlight each time the
// recording passes another minute (--every SECONDS to change the step).
//
//   highlight_service [--every SECONDS] [--tags N] [--record]
//
// --tags N ends the service after N tags, --record starts a recording first
// (both for a demonstration on the simulator); it prints each tag and, at
// the end, the recording's highlight count.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ztclient.hpp"

int main(int argc, char **argv)
{
    int every = 60;
    int wanted = 0;
    bool record = false;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--every") && i + 1 < argc)
            every = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--tags") && i + 1 < argc)
            wanted = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--record"))
            record = true;
        else {
            fprintf(stderr, "usage: %s [--every SECONDS] [--tags N] [--record]\n", argv[0]);
            return 2;
        }
    }
    if (every < 1)
        every = 1;
    try {
        ztclient::Client camera;
        ztclient::Watch watch(camera);
        if (record)
            camera.shutter(true);
        int tags = 0;
        int lastStep = 0;  // minutes (steps) of this recording already tagged
        while (wanted == 0 || tags < wanted) {
            auto n = watch.next(30000);
            if (!n) {
                fprintf(stderr, "no notification for 30 s\n");
                return 1;
            }
            for (const ztclient_item_t &item : n->items) {
                if (!item.name || item.kind != ZTCLIENT_STATUS)
                    continue;
                if (!strcmp(item.name, "encoding") && item.value == 0)
                    lastStep = 0;  // the next recording counts from zero
                if (strcmp(item.name, "video_progress_seconds") || item.value / every <= lastStep)
                    continue;
                lastStep = item.value / every;
                camera.tagRecording();
                ++tags;
                printf("tagged at %d s\n", item.value);
                fflush(stdout);
            }
        }
        // The camera counts the highlights of the current recording.
        printf("hilight_count %d\n", camera.statusValue("hilight_count").value_or(-1));
        if (record)
            camera.shutter(false);
    } catch (const ztclient::Error &e) {
        fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
