# target_sources(net|net_ui PRIVATE ...)
