/* The module only carries its resource; this is what it exports. */
__declspec(dllexport) int German_Only(void) { return 1; }
