# vaskimo_test(...) for the Registry units
