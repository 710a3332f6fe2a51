// Command server, status and settings polling of the worker loop. The poll
// that reads the camera's status and settings blocks and pushes their changes
// to the notification clients is not built yet: both entry points keep their
// place in the loop and do nothing.
#include "ztcontrol_if_server.h"

void ZtcontrolCommandServer::pollStatusSettingsAndNotify() {}

void ZtcontrolCommandServer::initializeStatusVariables() {}
