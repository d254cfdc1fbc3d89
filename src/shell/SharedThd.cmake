# Scanner thread base, shared by the registry and file tools' workers.
target_sources(shell PRIVATE SharedThd.h SharedThd.cpp BackgroundJob.h)
