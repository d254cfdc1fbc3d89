vaskimo_test(LisaaPoistaThdsTest SOURCES LisaaPoistaThdsTest.cpp LIBS registry)
vaskimo_test(AddRemoveDeletionTest SOURCES AddRemoveDeletionTest.cpp LIBS registry)
vaskimo_test(LisaaPoistaTest SOURCES LisaaPoistaTest.cpp LIBS registry_ui GUI)
