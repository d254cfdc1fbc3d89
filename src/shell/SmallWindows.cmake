# Listing print and save, the options window, the about box, the splash window, the language chooser.
target_sources(shell_ui PRIVATE
  Listing.h Listing.cpp)
