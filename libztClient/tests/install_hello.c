/* Built against the installed library through pkg-config by the install
 * check: starts a recording and prints battery and recording state by name. */
#include <stdio.h>
#include <string.h>
#include <ztclient.h>

/* The item called `name` among the first n, or NULL. */
static const ztclient_item_t *find(const ztclient_item_t *items, size_t n, const char *name)
{
    for (size_t i = 0; i < n; ++i)
        if (items[i].name && strcmp(items[i].name, name) == 0)
            return &items[i];
    return NULL;
}

int main(void)
{
    ztclient_t *camera = NULL;
    ztclient_item_t items[128];
    size_t n = 0;
    int rc = ztclient_open(&camera);
    if (rc == 0)
        rc = ztclient_shutter(camera, 1);
    if (rc == 0)
        rc = ztclient_get_status(camera, items, 128, &n);
    n = n < 128 ? n : 128;
    const ztclient_item_t *battery = find(items, n, "battery_percent");
    const ztclient_item_t *recording = find(items, n, "encoding");
    if (battery && recording)
        printf("battery_percent %d %s\nrecording %d\n", battery->value,
               battery->unit ? battery->unit : "", recording->value);
    if (rc == 0)
        rc = ztclient_shutter(camera, 0);
    if (rc != 0)
        fprintf(stderr, "%s\n", ztclient_result_name(rc));
    ztclient_close(camera);
    return rc == 0 ? 0 : 1;
}
