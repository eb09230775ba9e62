// Preloaded into the emulator (node --require). The authentication emulator compiles a JSON
// schema validator for every operation of its API before it listens, which costs many seconds
// of CPU on a busy machine; compiling each one on its first use gives the same answers.
"use strict";
const exegesis = require(require.resolve("exegesis", { paths: [__dirname] }));
const compileApi = exegesis.compileApi;
exegesis.compileApi = function (openApiDoc, options, done) {
  return compileApi.call(this, openApiDoc, Object.assign({ lazyCompileValidationSchemas: true }, options), done);
};
