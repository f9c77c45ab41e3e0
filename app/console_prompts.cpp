// SPDX-License-Identifier: Apache-2.0
// What a job asks a person: the flash model from the menu, the bus width, the interleave.
#include "app/console_answer.h"
#include "app/console_host.h"
#include "app/options.h"
#include "platform/console.h"

namespace {

// No menu line carries this number; it stays when the answer is not a number.
constexpr int32_t kNoModel = 10;

constexpr RunEnd kEndRun = {1, CableEnd::park};

// Up to `length` digits that must make `a` or `b`; anything else ends the run with `refusal`.
int ask_one_of(Ending& ending, const char* prompt, int length, const char* after, int a, int b, const char* refusal)
{
    char answer[4];
    int32_t value = 0;
    con_printf("%s", prompt);
    if ((ending = read_answer(answer, length)))
        return 0;
    parse_number(answer, &value);
    con_printf("%s", after);
    if (value == a || value == b)
        return value;
    con_printf("%s\n", refusal);
    ending = kEndRun;
    return 0;
}

}  // namespace

std::string ConsoleHost::flash_model(std::span<const char* const> models)
{
    char answer[4];
    con_printf("\nSelect your flash model name !\n");
    con_printf("To exit, Enter 'q'\n\n");
    for (size_t i = 0; i < models.size(); ++i)
        con_printf("[%d] : %s\n", static_cast<int>(i + 1), models[i]);
    if ((ending_ = read_answer(answer, 1)))
        return {};
    if (answer[0] == 'q' || answer[0] == 'Q') {
        con_printf("\nQuit at the model menu: the flash was not touched\n");
        ending_ = process_end(1);
        return {};
    }

    int32_t number = kNoModel;
    parse_number(answer, &number);
    if (number < 1 || number > static_cast<int32_t>(models.size())) {
        con_printf("Not Yet support your flash type\n");
        con_printf("The menu takes 1 to %d, or q to quit\n", static_cast<int>(models.size()));
        ending_ = kEndRun;
        return {};
    }
    con_printf("\n");
    return models[static_cast<size_t>(number - 1)];
}

int ConsoleHost::bus_width()
{
    return ask_one_of(ending_, "\nEnter flash Bus width [8 or 16] ? ", 2, "\n", 8, 16, "The bus width is 8 or 16");
}

int ConsoleHost::interleave()
{
    return ask_one_of(ending_, "Enter flash interface number [1 or 2] ? ", 1, "\n\n", 1, 2,
                      "The interface number is 1 or 2");
}
