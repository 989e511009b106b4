/* Entry point of the fixture libraries: they hold resources and no code to run. */
int __stdcall DllMainCRTStartup(void* instance, unsigned reason, void* reserved) {
    (void)instance; (void)reason; (void)reserved;
    return 1;
}
