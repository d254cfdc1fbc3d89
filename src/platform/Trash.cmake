# The freedesktop.org Trash (the recycle bin).
target_sources(platform PRIVATE Trash.h Trash.cpp)
