#include "messages.h"

namespace {

const MessageText EraseTexts[2][EraseQuestions + 1] = {
    {
        {"Отвечать быстро!!!", "Вы действительно хотите удалить все рекорды?"},
        {"Отвечать быстро!!!", "Вы уверены?"},
        {"Отвечать быстро!!!", "Абсолютно уверены?"},
        {"...быстрее...", "Вы в порядке?"},
        {"...еще быстрее!!!", "Вы сумасшедший?"},
        {"Ладно...",
         "Ну вот! Теперь понятно, что вы действительно хотите очистить таблицу рекордов...\r\n"
         "Нажмите кнопку OK внизу этого окна, чтоб покончить с этим в конце-концов...\r\nСпасибо большое!"},
    },
    {
        {"Answer fast!!!", "Do You want to erase ALL the Records?"},
        {"Answer fast!!!", "Are You Sure?"},
        {"Answer faster!!!", "Really?"},
        {"...faster...", "Are You Nuts?"},
        {"...more than fast!!!", "Are You Crazy?"},
        {"Well!...",
         "OK! We understood that you really want to clear the TOP 30.\r\n"
         "Press the OK button in the bottom of the window to do it at all...\r\nThank you very much!"},
    },
};

// The blanks centre the lines.
const MessageText Published[2] = {
    {"Поздравляем!",
     "         Если Ваш высший результат \r\nне ниже последнего в списке на сайте,   \r\n"
     "   то Вы найдете свое имя в таблице!\r\n\r\n                       Проверяйте!"},
    {"Congratulation!",
     "           Your highest score\r\n           will be posted only.\r\n           If Your result beats\r\n"
     "      at least the lowest score  \r\n     displayed on our web-site,    \r\n"
     " your name will appear in the list.  \r\n                Check it out.!"},
};

const MessageText NotPublished[2] = {
    {"Ошибка!", "Сервер не отвечает\r\nили отсутствует\r\nсоединение с интернетом!  "},
    {"Error!", "Server not responding\r\nor Internet connection\r\nis closed!  "},
};

const char* const ReplayProblems[2][5] = {
    {
        "Не удается прочитать файл \"%1\".",
        "Файл \"%1\" - не запись игры.",
        "Запись \"%1\" сделана другой версией игры.",
        "Запись \"%1\" повреждена.",
        "Запись \"%1\" не воспроизводится.",
    },
    {
        "Cannot read the file \"%1\".",
        "The file \"%1\" is not a replay.",
        "The replay \"%1\" was made by another version of the game.",
        "The replay \"%1\" is damaged.",
        "The replay \"%1\" cannot be played.",
    },
};

int Index(Language language)
{
    return language == Language::English ? 1 : 0;
}

}  // namespace

MessageText EraseMessage(Language language, int step)
{
    return EraseTexts[Index(language)][step];
}

MessageText PublishedMessage(Language language)
{
    return Published[Index(language)];
}

MessageText NotPublishedMessage(Language language)
{
    return NotPublished[Index(language)];
}

const char* ReplayProblemText(Language language, ReplayProblem problem)
{
    return ReplayProblems[Index(language)][static_cast<int>(problem)];
}
