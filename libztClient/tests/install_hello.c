/* Built against the installed library through pkg-config by the install
 * check: starts a recording and prints battery and recording state by name. */
#include <stdio.h>
#include <string.h>
#include <ztclient.h>

static int value(const ztclient_item_t *items, size_t n, const char *name, const char **unit)
{
    for (size_t i = 0; i < n; ++i)
        if (items[i].name && strcmp(items[i].name, name) == 0) {
            *unit = items[i].unit ? items[i].unit : "";
            return items[i].value;
        }
    return -1;
}

int main(void)
{
    ztclient_t *camera;
    ztclient_item_t items[128];
    size_t n = 0;
    const char *unit = "";
    int rc = ztclient_open(&camera);
    if (rc == 0)
        rc = ztclient_shutter(camera, 1);
    if (rc == 0)
        rc = ztclient_get_status(camera, items, 128, &n);
    if (rc != 0) {
        fprintf(stderr, "%s\n", ztclient_result_name(rc));
        ztclient_close(camera);
        return 1;
    }
    n = n < 128 ? n : 128;
    const int battery = value(items, n, "battery_percent", &unit);
    printf("battery_percent %d %s\n", battery, unit);
    printf("recording %d\n", value(items, n, "encoding", &unit));
    rc = ztclient_shutter(camera, 0);
    ztclient_close(camera);
    return rc == 0 ? 0 : 1;
}
