/* jouer.cpp: the screens: difficulty presets, the game, the main menu, the
 * options screen and the orbiting decoration. */
#include "jouer.h"

#include <SDL/SDL_rotozoom.h>

#include "sys.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

/* ---- Difficulty ---- */

const preset presets[] = {
    {"Facile", {100, 140, 45, 1, false}},
    {"Moyen", {70, 110, 30, 2, false}},
    {"Difficile", {40, 70, 15, 4, false}},
    {"Hardcore", {40, 70, 10, 8, false}},
};
const int nombrePresets = sizeof presets / sizeof presets[0];

const difficult difficulteParDefaut = {70, 110, 30, 2, false};

/* ---- Shared by the screens ---- */

/* Whether the font draws anything: a damaged file may open and still have
 * no outlines, which would leave every text of the game invisible. */
static bool dessine(TTF_Font* police)
{
    SDL_Surface* essai = TTF_RenderText_Blended(police, "0", rgbToColor(255, 255, 255));
    bool encre = false;
    if (essai && !SDL_LockSurface(essai)) {
        for (int y = 0; y < essai->h && !encre; y++) {
            const Uint32* ligne = reinterpret_cast<const Uint32*>(
                static_cast<const Uint8*>(essai->pixels) + y * essai->pitch);
            for (int x = 0; x < essai->w && !encre; x++)
                encre = (ligne[x] & essai->format->Amask) != 0;
        }
        SDL_UnlockSurface(essai);
    }
    SDL_FreeSurface(essai);
    return encre;
}

/* Opens the game's font at a point size; no screen can draw without it. */
static TTF_Font* ouvrirPolice(int taille)
{
    TTF_Font* police = NULL;
    if (sysFichierSpecial("game_over.ttf"))
        SDL_SetError("not a file"); /* a named pipe would hang the open */
    else
        police = TTF_OpenFont("game_over.ttf", taille);
    if (police && !dessine(police)) {
        TTF_CloseFont(police);
        SDL_SetError("its glyphs draw nothing");
        police = NULL;
    }
    if (!police) {
        /* Say where it looked: the game reads its data from the directory
         * it is started in, which is easy to get wrong. */
        char dossier[PATH_MAX], quoi[PATH_MAX + 40];
        std::snprintf(quoi, sizeof quoi, "cannot open game_over.ttf in %s",
                      sysDossierCourant(dossier, sizeof dossier) ? dossier
                                                                : "the working directory");
        erreurFatale(quoi);
    }
    return police;
}

/* Makes a w by h surface of 32 bits in SDL's default layout. */
static SDL_Surface* creerSurface(int w, int h)
{
    SDL_Surface* surface =
        SDL_CreateRGBSurface(SDL_HWSURFACE, w, h, 32, 0, 0, 0, 0);
    if (!surface)
        erreurFatale("cannot create a surface");
    return surface;
}

/* After a click at (x, y) has been acted on, the pointer is warped to
 * (x, y + 1). SDL 1.2 on X11 answers the warp with a motion event that takes
 * the click's place as the kept event; since not every display library
 * does, that motion is also put in the kept event here, so that the click is
 * never acted on twice. Where the display does queue the motion, the next
 * poll delivers the same motion again, which changes nothing. */
static void remplacerParMouvement(SDL_Event* event, int x, int y)
{
    event->type = SDL_MOUSEMOTION;
    event->motion.state = 0;
    event->motion.x = Uint16(x);
    event->motion.y = Uint16(y + 1);
    event->motion.xrel = 0;
    event->motion.yrel = 1;
}

/* Warps the pointer one pixel below a click at (x, y) and keeps the move. */
static void warperSous(SDL_Event* event, int x, int y)
{
    SDL_WarpMouse(Uint16(x), Uint16(y + 1));
    remplacerParMouvement(event, x, y);
}

/* ---- The game ---- */

/* A side of a new target, in min..max. */
static int tirerCote(const difficult& d)
{
    return rand() % (d.max - d.min + 1) + d.min;
}

/* A new target's corner: never past the right or bottom edge, possibly
 * beyond the left or top one, where the next blit pulls it back. */
static int tirerPosition(int taille, int cote)
{
    return rand() % taille - cote;
}

/* The highlight brings each component five sixths of the way to 255. */
static int eclaircir(int c)
{
    return c + ((255 - c) / 6) * 5;
}

void jouer(SDL_Surface* ecran, difficult defaultDifficulte)
{
    srand(unsigned(time(NULL)));
    jouerMusique();
    int actualColorR = rand() % 255;
    int actualColorV = rand() % 255;
    int actualColorB = rand() % 255;
    int continuer = 1;
    int sizex = tirerCote(defaultDifficulte);
    int sizey = tirerCote(defaultDifficulte);
    int score = 0;
    int tempsRestant = 0;
    const Uint32 debut = SDL_GetTicks();
    const int tempsTotal = int(debut + Uint32(defaultDifficulte.temps) * 1000u);
    int oldTicks = int(debut);
    bool directionHaut = false;
    bool directionDroite = true;
    const SDL_Color couleurBlanche = rgbToColor(255, 255, 255);
    const int x = tirerPosition(ecran->w, sizex);
    SDL_Rect positionRectangle = xyToRect(x, tirerPosition(ecran->h, sizey));
    TTF_Font* police = ouvrirPolice(50);
    SDL_Surface* rectangle = creerSurface(sizex, sizey);
    color(rectangle, actualColorR, actualColorV, actualColorB);

    SDL_Event event;
    event.type = SDL_NOEVENT;
    while (continuer) {
        color(ecran, 0, 0, 0);
        SDL_PollEvent(&event);
        SDL_Delay(10);

        if (defaultDifficulte.libre) {
            tempsRestant = 1000;
        } else {
            /* Unsigned subtraction, read as signed: a passed deadline gives
             * a negative gap, and the clock's wrap is harmless. */
            const int ecart = int(Uint32(tempsTotal) - SDL_GetTicks());
            tempsRestant = ecart > 0 ? ecart / 1000 : 0;
        }

        switch (event.type) {
        case SDL_MOUSEMOTION:
            if (checkZone(event.motion.x, event.motion.y, positionRectangle,
                          sizex, sizey))
                color(rectangle, eclaircir(actualColorR),
                      eclaircir(actualColorV), eclaircir(actualColorB));
            else
                color(rectangle, actualColorR, actualColorV, actualColorB);
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (checkZone(event.button.x, event.button.y, positionRectangle,
                          sizex, sizey)) {
                SDL_FreeSurface(rectangle);
                score++;
                actualColorR = rand() % 226 + 30;
                actualColorV = rand() % 226 + 30;
                actualColorB = rand() % 226 + 30;
                sizex = tirerCote(defaultDifficulte);
                sizey = tirerCote(defaultDifficulte);
                positionRectangle.x = Sint16(tirerPosition(ecran->w, sizex));
                positionRectangle.y = Sint16(tirerPosition(ecran->h, sizey));
                rectangle = creerSurface(sizex, sizey);
                color(rectangle, actualColorR, actualColorV, actualColorB);
                advancedBlit(rectangle, ecran, &positionRectangle);
                warperSous(&event, event.button.x, event.button.y);
                directionDroite = rand() & 1;
                directionHaut = rand() & 1;
            }
            break;
        case SDL_KEYDOWN:
            if (event.key.keysym.sym == SDLK_ESCAPE)
                tempsRestant = 0;
            break;
        case SDL_QUIT:
            continuer = 0;
            break;
        }

        if (positionRectangle.x + sizex >= ecran->w)
            directionDroite = false;
        if (positionRectangle.x <= 0)
            directionDroite = true;
        if (positionRectangle.y + sizey >= ecran->h)
            directionHaut = true;
        if (positionRectangle.y <= 0)
            directionHaut = false;

        const int pas = defaultDifficulte.pxPerS;
        positionRectangle.x = Sint16(positionRectangle.x + (directionDroite ? pas : -pas));
        positionRectangle.y = Sint16(positionRectangle.y + (directionHaut ? -pas : pas));
        advancedBlit(rectangle, ecran, &positionRectangle);

        if (!defaultDifficulte.libre)
            write(ecran, police, couleurBlanche, 10, 50, "Temps restant : %d s",
                  tempsRestant);
        write(ecran, police, couleurBlanche, 10, 10, "Score : %d", score);
        afficherFps(ecran, police, int(SDL_GetTicks()), oldTicks);
        oldTicks = int(SDL_GetTicks());
        SDL_Flip(ecran);

        if (tempsRestant == 0) {
            write(ecran, police, couleurBlanche, ecran->w / 2 - 30,
                  ecran->h / 2 - 20, "Score : %d", score);
            SDL_Flip(ecran);
            pause();
            continuer = 0;
        }
    }

    SDL_FreeSurface(rectangle);
    TTF_CloseFont(police);
}

void pause()
{
    int continuer2 = 1;
    SDL_Event event;
    event.type = SDL_NOEVENT;
    while (continuer2 == 1) {
        if (!SDL_WaitEvent(&event))
            erreurFatale("cannot wait for an event");
        if (event.type == SDL_KEYDOWN)
            continuer2 = 0;
        else if (event.type == SDL_QUIT)
            exit(0);
    }
}

/* ---- The menus ---- */

/* The buttons of both menus stand 50 pixels left of the centre, in rows 50
 * pixels apart; dy is a button's row relative to the centre. */
static button dessinerBouton(SDL_Surface* ecran, TTF_Font* police,
                             SDL_Rect millieu, const char* label, int dy,
                             bool survole)
{
    const SDL_Color texte =
        survole ? rgbToColor(0, 0, 0) : rgbToColor(207, 207, 207);
    return createButton(millieu.x - 50, millieu.y + dy, texte,
                        rgbToColor(125, 124, 124), police, ecran, label);
}

/* The first button, in the table's order, whose plate holds (x, y); -1 when
 * none does. Where plates overlap the earlier button wins. */
static int premierTouche(const button* boutons, int nombre, int x, int y)
{
    for (int i = 0; i < nombre; i++)
        if (checkZone(x, y, xyToRect(boutons[i].x, boutons[i].y), boutons[i].w,
                      boutons[i].h))
            return i;
    return -1;
}

/* A record no point can hit, for buttons not drawn yet. */
static const button boutonVide = {0, 0, -1, -1, NULL, {0, 0, 0, 0}, {0, 0, 0, 0}};

static SDL_Rect centre(SDL_Surface* ecran)
{
    return xyToRect(ecran->w / 2, ecran->h / 2);
}

static void effacer(SDL_Surface* ecran)
{
    SDL_FillRect(ecran, NULL, SDL_MapRGB(ecran->format, 48, 48, 48));
}

/* The start of a menu screen's frame: clear, take at most one event (a poll
 * that finds none leaves the kept event to be handled again), wait. */
static void debutImage(SDL_Surface* ecran, SDL_Event* event)
{
    effacer(ecran);
    SDL_PollEvent(event);
    SDL_Delay(10);
}

/* The end of a menu screen's frame: the squares over the buttons, shown. */
static void finImage(SDL_Surface* ecran, SDL_Rect millieu, SDL_Surface* rectangle,
                     SDL_Surface* rectangle2)
{
    drawDecoration(ecran, millieu, rectangle, rectangle2);
    SDL_Flip(ecran);
}

/* The main menu's buttons, in the order they are tested and drawn, which
 * is not their order on screen. */
enum { Jouer, Quitter, Option, Jeu_Libre, nombreBoutonsMenu };
static const struct {
    const char* label;
    int dy;
} boutonsMenu[nombreBoutonsMenu] = {
    {"Jouer", -100}, {"Quitter", -50}, {"Options", 50}, {"Jeu Libre", 0}};

void menu(SDL_Surface* ecran)
{
    TTF_Font* police = ouvrirPolice(100);
    difficult defaultDifficulte = difficulteParDefaut;
    jouerMusique();
    SDL_Surface *rectangle, *rectangle2;
    createDecoration(&rectangle, &rectangle2);
    int continuer = 1;
    const SDL_Rect millieu = centre(ecran);

    button boutons[nombreBoutonsMenu];
    for (button& b : boutons)
        b = boutonVide;
    SDL_Event event;
    event.type = SDL_NOEVENT;

    while (continuer) {
        debutImage(ecran, &event);

        int survole = -1;
        switch (event.type) {
        case SDL_MOUSEMOTION:
            survole = premierTouche(boutons, nombreBoutonsMenu, event.motion.x,
                                    event.motion.y);
            break;
        case SDL_MOUSEBUTTONUP: {
            const int x = event.button.x, y = event.button.y;
            switch (premierTouche(boutons, nombreBoutonsMenu, x, y)) {
            case Jouer:
                jouer(ecran, defaultDifficulte);
                warperSous(&event, x, y);
                jouerMusique();
                break;
            case Quitter:
                exit(0);
            case Option:
                defaultDifficulte = option(ecran);
                remplacerParMouvement(&event, x, y); /* option warped */
                break;
            case Jeu_Libre:
                defaultDifficulte.libre = true;
                jouer(ecran, defaultDifficulte);
                defaultDifficulte.libre = false;
                warperSous(&event, x, y);
                jouerMusique();
                break;
            }
            break;
        }
        case SDL_QUIT:
            exit(0);
        }

        for (int i = 0; i < nombreBoutonsMenu; i++)
            boutons[i] = dessinerBouton(ecran, police, millieu, boutonsMenu[i].label,
                                        boutonsMenu[i].dy, i == survole);
        finImage(ecran, millieu, rectangle, rectangle2);
    }
}

/* Options buttons stand in the presets' order from cy - 100 down. */
static int rangOption(int i)
{
    return -100 + 50 * i;
}

difficult option(SDL_Surface* ecran)
{
    TTF_Font* police = ouvrirPolice(100);
    const SDL_Rect millieu = centre(ecran);
    button boutons[sizeof presets / sizeof presets[0]];
    for (int i = 0; i < nombrePresets; i++)
        boutons[i] = dessinerBouton(ecran, police, millieu, presets[i].label,
                                    rangOption(i), false);
    SDL_Surface *rectangle, *rectangle2;
    createDecoration(&rectangle, &rectangle2);
    SDL_Flip(ecran);

    SDL_Event event;
    event.type = SDL_NOEVENT;
    for (;;) {
        debutImage(ecran, &event);

        int survole = -1;
        switch (event.type) {
        case SDL_MOUSEMOTION:
            survole = premierTouche(boutons, nombrePresets, event.motion.x,
                                    event.motion.y);
            break;
        case SDL_MOUSEBUTTONUP: {
            const int choix = premierTouche(boutons, nombrePresets,
                                            event.button.x, event.button.y);
            if (choix >= 0) {
                const difficult FMD = presets[choix].valeurs;
                SDL_Flip(ecran);
                SDL_WarpMouse(event.button.x, Uint16(event.button.y + 1));
                TTF_CloseFont(police);
                SDL_FreeSurface(rectangle);
                SDL_FreeSurface(rectangle2);
                return FMD;
            }
            break;
        }
        case SDL_QUIT:
            exit(0);
        }

        for (int i = 0; i < nombrePresets; i++)
            boutons[i] = dessinerBouton(ecran, police, millieu, presets[i].label,
                                        rangOption(i), i == survole);
        finImage(ecran, millieu, rectangle, rectangle2);
    }
}

/* ---- The decoration ---- */

int angle = 0;
int rotateAngle = 0;
int angle2 = 180;
int rotateAngle2 = 180;

void createDecoration(SDL_Surface** rectangle, SDL_Surface** rectangle2)
{
    *rectangle = creerSurface(50, 50);
    color(*rectangle, 255, 77, 77);
    *rectangle2 = creerSurface(50, 50);
    color(*rectangle2, 77, 255, 77);
}

/* One square's frame: placed on its orbit by the angle it had, then both
 * angles advance and the square is drawn turned by the new spin, with the
 * black corners the turn leaves made transparent. */
static void dessinerCarre(SDL_Surface* ecran, SDL_Rect millieu, SDL_Surface* carre,
                          int* orbite, int* rotation)
{
    SDL_Rect position = trajectoireCirculaire(300.0, double(*orbite));
    *orbite += 1;
    *rotation += 5;
    if (*orbite == 360)
        *orbite = 0;
    if (*rotation == 360)
        *rotation = 0;
    SDL_Surface* tourne = rotozoomSurface(carre, -double(*rotation), 1.0, SMOOTHING_ON);
    if (!tourne)
        return;
    position.x = Sint16(position.x + millieu.x - tourne->w / 2);
    position.y = Sint16(position.y + millieu.y - tourne->h / 2);
    delColor(tourne, 0, 0, 0);
    advancedBlit(tourne, ecran, &position);
    SDL_FreeSurface(tourne);
}

void drawDecoration(SDL_Surface* ecran, SDL_Rect millieu, SDL_Surface* rectangle,
                    SDL_Surface* rectangle2)
{
    dessinerCarre(ecran, millieu, rectangle, &angle, &rotateAngle);
    dessinerCarre(ecran, millieu, rectangle2, &angle2, &rotateAngle2);
}
