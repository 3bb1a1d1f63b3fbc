/* DwmGetWindowAttribute, from dwmapi.dll when first called: the program
 * imports no other DLL, and runs where there is none. */
#include "../winapi.h"

typedef HRESULT(WINAPI *GetAttributeProc)(HWND, DWORD, PVOID, DWORD);

HRESULT WINAPI DwmGetWindowAttribute(HWND hwnd, DWORD dwAttribute, PVOID pvAttribute,
                                     DWORD cbAttribute)
{
	static GetAttributeProc getAttribute;
	static bool looked;

	/* From the system folder only: never a dwmapi.dll planted beside
	 * the script or the program. */
	if (!looked) {
		HMODULE dwm = LoadLibraryExA("dwmapi.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
		looked = true;
		if (dwm != NULL)
			getAttribute = (GetAttributeProc)(void (*)(void))GetProcAddress(
			    dwm, "DwmGetWindowAttribute");
	}
	if (getAttribute == NULL)
		return E_NOTIMPL;
	return getAttribute(hwnd, dwAttribute, pvAttribute, cbAttribute);
}
