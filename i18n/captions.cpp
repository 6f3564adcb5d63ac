#include "captions.h"

namespace {

const CaptionPair Russian[] = {
    {"Label1", "СЧЕТ"},
    {"Label2", "УРОВЕНЬ"},
    {"Label4", "30 Лучших"},
    {"Label5", "Автор: команда Vantorix II"},
    {"Label11", "ENGLISH"},
    {"Label7", "Идея: Vantorix, 1991"},
    {"Edit1", "Кое-кто"},
    {"LBBonus", "БОНУС"},
    {"LBAbout", "VANTORIX II  © команда Vantorix II, 2006\nv. 1.3 beta 1340\nнаписано по мотивам и идее\n"
                "VANTORIX  © его авторы, 1991"},
    {"lbS", "ИГРАЕТ КОМПЬЮТЕР!!!"},
    {"Label8", "Нажатие мышью - меню игры..."},
    {"PublishInet", "Опубликовать рекорды на сайте..."},
    {"LookInet", "Посмотреть рекорды на сайте..."},
    {"WatchBest", "Смотреть лучшую игру..."},
    {"lbReplay", "ПОВТОР"},
    {"Erase_Results", "Удалить все рекорды..."},
    {"Params", "Настройки... (O)"},
    {"BDefault", "Обычные цвета"},
    {"Lb_Anim", "Анимировать получение бонусов"},
    {"Lb_Sound", "Воспроизводить звук на PC Speaker"},
    {"Lb_Sound_ON", "Звук включен (S)"},
    {"Lb_Rot_Inverse", "Вращать в другую сторону"},
    {"Label15", "Настройки цвета..."},
    {"About", "О Vantorix 1.3 (F1)"},
    {"MExit", "Выход (Q, PgDn, F10)"},
    {"ImageEng", "False"},
    {"ImageRus", "True"},
};

const CaptionPair English[] = {
    {"Label1", "SCORE"},
    {"Label2", "LEVEL"},
    {"Label4", "Top 30"},
    {"Label5", "By the Vantorix II team"},
    {"Label11", "RUSSIAN"},
    {"Label7", "Idea: Vantorix, 1991"},
    {"Edit1", ""},
    {"LBBonus", "BONUS"},
    {"LBAbout", "VANTORIX II  © the Vantorix II team, 2006\nv. 1.3 beta 1340\non motives\n"
                "VANTORIX  © its authors, 1991"},
    {"lbS", "AUTO PLAYING!!!"},
    {"Label8", "Press Mouse to show contextual menu..."},
    {"PublishInet", "Publish Top 30 to Internet..."},
    {"LookInet", "Look Top 30 on Site..."},
    {"WatchBest", "Watch the Best Game..."},
    {"lbReplay", "REPLAY"},
    {"Erase_Results", "Erase All Records..."},
    {"Params", "Options... (O)"},
    {"BDefault", "Default Colors"},
    {"Lb_Anim", "Animate Bonus Events"},
    {"Lb_Sound", "Sound goes to PC Speaker"},
    {"Lb_Sound_ON", "Sound ON (S)"},
    {"Lb_Rot_Inverse", "Inverse Rotation"},
    {"Label15", "Colors Setup..."},
    {"About", "About Vantorix 1.3 (F1)"},
    {"MExit", "Exit (Q, PgDn, F10)"},
    {"ImageEng", "True"},
    {"ImageRus", "False"},
};

// The texts keep their leading blank and their runs of two blanks.
const char* const RussianHelp[] = {
    " -   Старт / Закончить",     " -   Бросить",
    " -   Вниз",                  " -   Влево",
    " -   Повернуть  по  час.",   " -   Вправо",
    " -   Повернуть  пр.  час.",  " -   Цветовой  режим",
    " -   Язык  ENG / РУС",       " -   Звук  Вкл/Выкл",
    " -   Автопилот  Вкл/Выкл",   " -   Пауза  Вкл",
    " -   Весь экран Вкл/Выкл",   " -   Настройки...",
    " -   О  программе...",       " -   Босс  идет!..",
    " -   Выход",
};

const char* const EnglishHelp[] = {
    " -   START / STOP  Game",    " -   DROP  Figure",
    " -   Move  DOWN",            " -   Move  LEFT",
    " -   Rotate  CW",            " -   Move  RIGHT",
    " -   Rotate  CCW",           " -   Change  COLOR  Mode",
    " -   Language  ENG / РУС",   " -   Sound  ON / OFF",
    " -   AutoPilot  ON / OFF",   " -   Pause  ON",
    " -   Full  Screen  ON / OFF", " -   OPTIONS...",
    " -   ABOUT Program...",      " -   BOSS  Coming!..",
    " -   QUIT  Game",
};

static_assert(std::size(Russian) == 27 && std::size(English) == 27);
static_assert(std::size(RussianHelp) == 17 && std::size(EnglishHelp) == 17);

}  // namespace

std::optional<Language> LanguageOfKey(std::string_view key)
{
    if (key == "ENGLISH")
        return Language::English;
    if (key == "RUSSIAN")
        return Language::Russian;
    return std::nullopt;
}

std::span<const CaptionPair> CaptionTable(Language language)
{
    if (language == Language::English)
        return English;
    return Russian;
}

std::span<const char* const> KeyHelpTable(Language language)
{
    if (language == Language::English)
        return EnglishHelp;
    return RussianHelp;
}

std::string TranslatedCaption(Language language, std::string_view component, const std::string& current)
{
    std::string result = current;
    for (const CaptionPair& pair : CaptionTable(language))
        if (component == pair.Component)
            result = pair.Caption;   // the last match wins
    return result;
}
