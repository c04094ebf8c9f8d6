/* A DLL that exists only for its version resource. */
__declspec(dllexport) int VersionFixtureAnswer(void)
{
    return 42;
}
