// A DLL whose only export has a Chinese name, built through the same
// module-definition step as the plug-in. The function itself has an ASCII
// name; the .def gives it its GBK export name.
extern "C" __stdcall int ZoqProbeInit(int a, int b) { return a + b; }
