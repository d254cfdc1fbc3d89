# vaskimo_test(...) for the Formats units
