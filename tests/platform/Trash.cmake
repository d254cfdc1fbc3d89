# vaskimo_test(...) for the Trash units
