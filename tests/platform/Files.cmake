# vaskimo_test(...) for the Files units
