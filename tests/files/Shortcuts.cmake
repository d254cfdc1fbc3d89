# vaskimo_test(...)
