# The way out of a ZOQ_EXPORT_RELEASING_MODULE export (x86-64), entered by a
# jump with the export's return address on top of the stack and its body in
# rax. The body returns the result in eax and leaves the module to release
# for zoq_TakeReleasedModule. With a module, the way out jumps, its own frame
# gone, to the code of zoq_ReleaseStub (outside this module) with the module
# in rcx and the result in edx: that code calls FreeLibrary and returns the
# result to the export's caller, so nothing of the module runs after
# FreeLibrary. Without that code the reference is kept.
        .text
        .globl  zoq_ReturnReleasingModule
        .def    zoq_ReturnReleasingModule; .scl 2; .type 32; .endef
        .seh_proc zoq_ReturnReleasingModule
zoq_ReturnReleasingModule:
        subq    $56, %rsp
        .seh_stackalloc 56
        .seh_endprologue
        callq   *%rax
        movl    %eax, 32(%rsp)          # the result
        callq   zoq_TakeReleasedModule
        testq   %rax, %rax
        jz      1f
        movq    %rax, 40(%rsp)          # the module
        callq   zoq_ReleaseStub
        movq    40(%rsp), %rcx
        movl    32(%rsp), %edx
        addq    $56, %rsp
        testq   %rax, %rax
        jz      2f
        jmpq    *%rax
2:      movl    %edx, %eax
        retq
1:      movl    32(%rsp), %eax
        addq    $56, %rsp
        retq
        .seh_endproc
