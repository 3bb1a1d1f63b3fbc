#ifndef WINCUE_EXECUTE_H
#define WINCUE_EXECUTE_H

/* Runs the step at currentStep with the executor of its action word;
 * an unknown word does nothing. */
void ExecuteStep(void);

/* True when the step at currentStep picks windows (every step but Sleep,
 * Cmd and Require). */
bool IsWindowStep(void);

/* False for a step that neither waits nor acts outside the program (a
 * Sleep of 0 ms): the lines before it need not leave before it runs. */
bool StepMayWait(void);

#endif
