# uint64_t zoq_call_stdcall(const void* fn, const uint64_t* words, uint32_t count, int32_t* skew)  (x86-64)
# The Windows x64 convention: the first four words in rcx, rdx, r8 and r9
# and, for a double among them, in xmm0 to xmm3 as well (the callee takes
# whichever its own declaration says); the rest on the stack above 32 bytes
# of room for the four; the caller removes it all, so *skew is always 0.
# Beside the code every message runs through (ZOQ_HOT): every reply is sent
# through here.
        .section .text$zoq_hot,"xr"
        .globl  zoq_call_stdcall
        .def    zoq_call_stdcall; .scl 2; .type 32; .endef
        .seh_proc zoq_call_stdcall
zoq_call_stdcall:
        pushq   %rbp
        .seh_pushreg %rbp
        pushq   %rsi
        .seh_pushreg %rsi
        pushq   %rdi
        .seh_pushreg %rdi
        movq    %rsp, %rbp
        .seh_setframe %rbp, 0
        .seh_endprologue
        movl    $0, (%r9)
        movq    %rcx, %r10              # fn
        movq    %rdx, %rsi              # words
        movl    %r8d, %ecx              # count
        # Room for max(count, 4) words, a multiple of 16 bytes (the stack is
        # 16-aligned here: the return address and three pushes).
        movl    %ecx, %eax
        cmpl    $4, %eax
        jae     1f
        movl    $4, %eax
1:      leaq    15(,%rax,8), %rax
        andq    $-16, %rax
        subq    %rax, %rsp
        movq    $0, (%rsp)
        movq    $0, 8(%rsp)
        movq    $0, 16(%rsp)
        movq    $0, 24(%rsp)
        movq    %rsp, %rdi
        cld
        rep movsq                       # the words, in order, from (%rsp) up
        movq    (%rsp), %rcx
        movq    8(%rsp), %rdx
        movq    16(%rsp), %r8
        movq    24(%rsp), %r9
        movq    %rcx, %xmm0
        movq    %rdx, %xmm1
        movq    %r8, %xmm2
        movq    %r9, %xmm3
        callq   *%r10
        movq    %rbp, %rsp
        popq    %rdi
        popq    %rsi
        popq    %rbp
        retq
        .seh_endproc
