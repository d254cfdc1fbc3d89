# vaskimo_test(...) for the Text units
