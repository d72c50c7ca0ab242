/* The filter module is the plug-in library linked whole; this unit only gives the shared
   object a source of its own. */
