// Plays replay files with the web edition's module under Node, as
// `vantorix2-sim replay` does natively: one game line per file on stdout, the
// reason on stderr (and exit status 2) for a file that does not check.
// Usage: node --no-experimental-fetch check_replays.js MODULE.js FILE...
'use strict';
const fs = require('fs');
const path = require('path');

async function main() {
    const [moduleFile, ...files] = process.argv.slice(2);
    if (!moduleFile || files.length === 0) {
        console.error('usage: check_replays.js MODULE.js FILE...');
        return 64;
    }
    const factory = require(path.resolve(moduleFile));
    const module = await factory({print: () => {}, printErr: (text) => console.error(text)});
    let status = 0;
    for (const file of files) {
        const bytes = fs.readFileSync(file);
        const at = module._malloc(Math.max(bytes.length, 1));
        module.HEAPU8.set(bytes, at);
        const line = module.UTF8ToString(module._vx_check_replay(at, bytes.length));
        module._free(at);
        if (line.startsWith('error: ')) {
            console.error(`${file}: ${line.slice('error: '.length)}`);
            status = 2;
        } else {
            console.log(line);
        }
    }
    return status;
}

main().then((status) => { process.exitCode = status; },
            (error) => { console.error(error); process.exitCode = 1; });
