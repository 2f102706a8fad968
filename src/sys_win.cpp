/* sys_win.cpp: the game's platform code on Windows, a console program whose
 * entry is SDL's start-up library (SDLmain). Paths go through the wide
 * calls, so that a folder named in any script works; the game sees them as
 * UTF-8. */
#include "sys.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

/* The longest path the wide calls take, in characters. */
static const DWORD LONGUEUR_CHEMIN = 32768;

/* The folder of zimbalo.exe, without a final backslash; empty if unknown. */
static std::wstring dossierProgramme()
{
    std::wstring chemin(LONGUEUR_CHEMIN, L'\0');
    DWORD n = GetModuleFileNameW(NULL, &chemin[0], LONGUEUR_CHEMIN);
    if (n == 0 || n >= LONGUEUR_CHEMIN)
        return std::wstring();
    chemin.resize(n);
    std::wstring::size_type fin = chemin.find_last_of(L'\\');
    return fin == std::wstring::npos ? std::wstring() : chemin.substr(0, fin);
}

static std::string enUtf8(const std::wstring& texte)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, texte.c_str(), -1, NULL, 0, NULL, NULL);
    if (n <= 0)
        return std::string();
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, texte.c_str(), -1, &utf8[0], n, NULL, NULL);
    utf8.resize(n - 1);
    return utf8;
}

static std::wstring depuisUtf8(const char* texte)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, texte, -1, NULL, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring large(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, texte, -1, &large[0], n);
    large.resize(n - 1);
    return large;
}

void sysPreparerProcessus()
{
    /* SDL reads the variable with getenv, which sees what _putenv sets in
     * the C runtime's copy of the environment. SDLmain has already
     * registered SDL_Quit at exit, and the video driver is SDL's own
     * choice. */
    _putenv("SDL_VIDEO_WINDOW_POS=center");
    /* The data lies beside the program, as the Linux command finds it in
     * its own folder: started from a terminal elsewhere, or from a
     * shortcut without a folder to start in, the game still finds it. */
    std::wstring dossier = dossierProgramme();
    if (!dossier.empty())
        SetCurrentDirectoryW(dossier.c_str());
}

void sysSignauxOrdinaires()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool sysDossierCourant(char* dossier, std::size_t taille)
{
    wchar_t* complet = _wfullpath(NULL, L".", 0);
    if (complet == NULL)
        return false;
    std::string utf8 = enUtf8(complet);
    std::free(complet);
    if (utf8.empty() || utf8.size() >= taille)
        return false;
    utf8.copy(dossier, utf8.size());
    dossier[utf8.size()] = '\0';
    return true;
}

int sysOuvrirFichier(const char* chemin)
{
    /* Windows has no named pipes among files: a plain open does. */
    return _wopen(depuisUtf8(chemin).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

bool sysFichierSpecial(const char*)
{
    /* Windows keeps named pipes apart from files; the device names are
     * not the game's file names. */
    return false;
}

bool sysFilsDisponibles()
{
    return true;
}

/* Writes ligne, in UTF-8, to the file dossier\stderr.txt; whether it could. */
static bool ecrireLigne(const std::wstring& dossier, const char* ligne)
{
    if (dossier.empty())
        return false;
    FILE* f = _wfopen((dossier + L"\\stderr.txt").c_str(), L"w");
    if (f == NULL)
        return false;
    bool ecrit = std::fprintf(f, "%s\n", ligne) >= 0;
    return std::fclose(f) == 0 && ecrit;
}

void sysMessageFatal(const char* ligne)
{
    /* On the console, for a player who started the game from a terminal. */
    std::fprintf(stderr, "%s\n", ligne);
    std::fflush(stderr);
    /* A player who double-clicked the program has no console left to read:
     * the line goes to stderr.txt beside the program, or, where that folder
     * is closed to them (an install for all users), in their own
     * %LOCALAPPDATA%\Zimbalo. The box shows the line and names the file. */
    std::wstring texte = depuisUtf8(ligne);
    std::wstring dossier = dossierProgramme();
    if (!ecrireLigne(dossier, ligne)) {
        const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
        dossier = local != NULL ? std::wstring(local) + L"\\Zimbalo" : std::wstring();
        if (!dossier.empty())
            CreateDirectoryW(dossier.c_str(), NULL);
        if (!ecrireLigne(dossier, ligne))
            dossier.clear();
    }
    if (!dossier.empty())
        texte += L"\n\nThis message is also saved in " + dossier + L"\\stderr.txt";
    MessageBoxW(NULL, texte.c_str(), L"Zimbalo", MB_OK | MB_ICONERROR);
}
