// Two small DLLs for the test of the system library loader, built from this one source:
// velkora_probe.dll imports velkora_probe_import.dll, as a DLL of Windows imports others.
#ifdef VELKORA_PROBE_IMPORT
extern "C" __declspec(dllexport) int velkoraProbeImport() {
    return 1;
}
#else
extern "C" __declspec(dllimport) int velkoraProbeImport();
extern "C" __declspec(dllexport) int velkoraProbe() {
    return velkoraProbeImport();
}
#endif
