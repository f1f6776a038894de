// A loadable library that is no PKCS#11 module: it lacks C_GetFunctionList.
#ifdef _WIN32
#define ORV_EXPORT __declspec(dllexport)
#else
#define ORV_EXPORT __attribute__((visibility("default")))
#endif

extern "C" ORV_EXPORT int orvNotACryptokiModule(void)
{
    return 1;
}
