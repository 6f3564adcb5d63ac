// Writes the options file over and over, each time a whole consistent set:
// Mode = n % 256 and Color1 = n, so a mixture of two writes would show.

#include <cstdlib>
#include <iostream>

#include "storage/options_file.h"

int main()
{
    OptionsFile file;
    for (std::int32_t n = 1;; ++n) {
        GameOptions options;
        options.Mode = n % 256;
        options.Colours[0] = n;
        options.English = n % 2 == 0;
        options.Russian = !options.English;
        file.Save(options);
        if (n == 1)
            std::cout << "written" << std::endl;   // the test kills only after a first file exists
    }
}
