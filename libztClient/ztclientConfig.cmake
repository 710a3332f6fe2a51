# The installed client library as the imported target ztclient::ztclientShared.
include(${CMAKE_CURRENT_LIST_DIR}/ztclientTargets.cmake)
